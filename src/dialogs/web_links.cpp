#include "dialogs/web_links.h"

#include "platform/product.h"

namespace dv {

std::u16string ReleaseText(std::u16string_view fileVersion) {
    return std::u16string(fileVersion.substr(0, fileVersion.size() < 2 ? 0 : fileVersion.size() - 2));
}

std::u16string ApplicationReleaseText(IWebSystem& system) {
    const std::optional<std::u16string> version = system.ApplicationFileVersion();
    return version ? ReleaseText(*version) : std::u16string();
}

void TWebLinks::goToOnlineHelp() {
    system_.OpenUrl(std::u16string(kHomePageUrl) + std::u16string(kHelpPagePath));
}

void TWebLinks::goToProductHomePage() {
    system_.OpenUrl(kHomePageUrl);
}

std::u16string TWebLinks::UpdateLink() {
    return std::u16string(kHomePageUrl) + std::u16string(kUpdatePagePath) + ApplicationReleaseText(system_);
}

bool TWebLinks::goToUpdateLink() {
    const std::u16string link = UpdateLink();
    system_.OpenUrl(link);
    return !link.empty();
}

}  // namespace dv
