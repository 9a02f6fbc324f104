#include "dialogs/web_links.h"

#include <gtest/gtest.h>

#include <vector>

namespace dv {
namespace {

class TRecordingWebSystem : public IWebSystem {
public:
    std::optional<std::u16string> version;
    std::vector<std::u16string> opened;
    void OpenUrl(std::u16string_view url) override { opened.emplace_back(url); }
    std::optional<std::u16string> ApplicationFileVersion() override { return version; }
};

TEST(WebLinksTest, ReleaseTextDropsTheLastTwoCharacters) {
    const struct {
        std::u16string_view version, release;
    } cases[] = {
        {u"1.2.16.0", u"1.2.16"}, {u"1.2.16.10", u"1.2.16."}, {u"1.0.0.0", u"1.0.0"}, {u"7", u""}, {u"", u""},
    };
    for (const auto& c : cases) EXPECT_EQ(ReleaseText(c.version), c.release);
}

TEST(WebLinksTest, OpensTheThreePages) {
    TRecordingWebSystem system;
    system.version = u"1.2.16.0";
    TWebLinks links(system);
    links.goToOnlineHelp();
    links.goToProductHomePage();
    EXPECT_TRUE(links.goToUpdateLink());
    system.version.reset();
    EXPECT_TRUE(links.goToUpdateLink());
    EXPECT_EQ(system.opened, (std::vector<std::u16string>{
                                 u"https://www.dockvane.com/help/dockvane/index.htm",
                                 u"https://www.dockvane.com",
                                 u"https://www.dockvane.com/downloads/latest/?myapp=Dockvane&myver=1.2.16",
                                 u"https://www.dockvane.com/downloads/latest/?myapp=Dockvane&myver=",
                             }));
}

}  // namespace
}  // namespace dv
