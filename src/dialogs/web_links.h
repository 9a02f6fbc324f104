// The product's web pages, opened in the user's browser, and the release text of the running program.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace dv {

inline constexpr std::u16string_view kHelpPagePath = u"/help/dockvane/index.htm";
inline constexpr std::u16string_view kUpdatePagePath = u"/downloads/latest/?myapp=Dockvane&myver=";

// What opening a page needs of the system.
class IWebSystem {
public:
    virtual ~IWebSystem() = default;
    // Hands the address to the shell ("open", no owner, SW_SHOW); the outcome is not examined.
    virtual void OpenUrl(std::u16string_view url) = 0;
    // "FileVersion" of the running executable's version information (first translation listed);
    // nothing when it cannot be read.
    virtual std::optional<std::u16string> ApplicationFileVersion() = 0;
};

// The system's own: ShellExecuteW and the executable's version resource on Windows; elsewhere
// nothing opens and there is no version.
IWebSystem& DefaultWebSystem();

class TWebLinks {
public:
    TWebLinks() : system_(DefaultWebSystem()) {}
    explicit TWebLinks(IWebSystem& system) : system_(system) {}

    void goToOnlineHelp();
    void goToProductHomePage();
    // True once the address was handed to the system: always, as it is never empty.
    bool goToUpdateLink();

    std::u16string UpdateLink();

private:
    IWebSystem& system_;
};

// "1.2.16.0" gives "1.2.16": the last two characters go, whatever they are.
std::u16string ReleaseText(std::u16string_view fileVersion);
// The running program's release text; "" when the version cannot be read.
std::u16string ApplicationReleaseText(IWebSystem& system);

}  // namespace dv
