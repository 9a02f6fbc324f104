#include "dialogs/web_links.h"

#include <optional>
#include <string>
#include <string_view>

namespace dv {
namespace {

// Away from Windows there is no browser to hand addresses to and no version resource.
class TNoWebSystem : public IWebSystem {
public:
    void OpenUrl(std::u16string_view) override {}
    std::optional<std::u16string> ApplicationFileVersion() override { return std::nullopt; }
};

}  // namespace

IWebSystem& DefaultWebSystem() {
    static TNoWebSystem system;
    return system;
}

}  // namespace dv
