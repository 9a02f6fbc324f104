#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dialogs/web_links.h"
#include "platform/product.h"
#include "platform/windows_include.h"
#include "resources/resource_ids.h"

#include <shellapi.h>

namespace dv {
namespace {

static_assert(std::u16string_view(u"" DV_HOME_PAGE_URL) == kHomePageUrl,
              "the version resource's Comments must name the home page");

class TWinWebSystem : public IWebSystem {
public:
    void OpenUrl(std::u16string_view url) override {
        const std::wstring address = ToWide(url);
        ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOW);
    }

    std::optional<std::u16string> ApplicationFileVersion() override {
        std::wstring path(MAX_PATH, L'\0');
        for (;;) {
            const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
            if (length == 0) return std::nullopt;
            if (length < path.size()) {
                path.resize(length);
                break;
            }
            path.resize(path.size() * 2);
        }
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
        if (size == 0) return std::nullopt;
        std::vector<unsigned char> block(size);
        if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return std::nullopt;
        struct Translation {
            WORD language;
            WORD codePage;
        };
        Translation* translations = nullptr;
        UINT translationBytes = 0;
        if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations),
                            &translationBytes) ||
            translationBytes < sizeof(Translation)) {
            return std::nullopt;
        }
        wchar_t key[64];
        wsprintfW(key, L"\\StringFileInfo\\%04x%04x\\FileVersion", translations[0].language, translations[0].codePage);
        wchar_t* value = nullptr;
        UINT valueLength = 0;
        if (!VerQueryValueW(block.data(), key, reinterpret_cast<void**>(&value), &valueLength) || !value) {
            return std::nullopt;
        }
        return FromWide(value);
    }
};

}  // namespace

IWebSystem& DefaultWebSystem() {
    static TWinWebSystem system;
    return system;
}

}  // namespace dv
