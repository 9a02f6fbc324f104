// The resources compiled into the programs: every picture at every scaling, the sounds' format and
// the version information.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/product.h"
#include "platform/windows_include.h"
#include "resources/resource_ids.h"

namespace dv {
namespace {

static_assert(std::u16string_view(u"" DV_HOME_PAGE_URL) == kHomePageUrl);

struct IconCase {
    int id;
    const char* name;
    int sizes[3];
};

TEST(ResourcesTest, EveryIconHasItsPictureAtEveryScaling) {
    const IconCase cases[] = {
        {IDI_APP, "application", {16, 32, 48}},       {IDI_TRAY_DEFAULT, "tray default", {16, 24, 32}},
        {IDI_TRAY_GREEN, "tray green", {16, 24, 32}}, {IDI_TRAY_RED, "tray red", {16, 24, 32}},
        {IDI_TRAY_GREY, "tray grey", {16, 24, 32}},   {IDI_OPENED_FOLDER, "opened folder", {32, 48, 64}},
        {IDI_CANCEL, "cancel", {32, 48, 64}},
    };
    auto check = [](int id, const char* name, int size) {
        // LookupIconIdFromDirectoryEx names the exact picture the icon holds for a size; a scaled
        // substitute would show up as a different size.
        HRSRC group = FindResourceW(nullptr, MAKEINTRESOURCEW(id), RT_GROUP_ICON);
        ASSERT_NE(group, nullptr) << name;
        auto* directory = static_cast<BYTE*>(LockResource(LoadResource(nullptr, group)));
        const int imageId = LookupIconIdFromDirectoryEx(directory, TRUE, size, size, LR_DEFAULTCOLOR);
        HRSRC image = FindResourceW(nullptr, MAKEINTRESOURCEW(imageId), RT_ICON);
        ASSERT_NE(image, nullptr) << name << ' ' << size;
        const auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(nullptr, image)));
        EXPECT_EQ(header->biWidth, size) << name;
        EXPECT_EQ(header->biHeight, 2 * size) << name;
        EXPECT_EQ(header->biBitCount, 32) << name;
        HICON icon = static_cast<HICON>(
            LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
        EXPECT_NE(icon, nullptr) << name << ' ' << size;
        if (icon) DestroyIcon(icon);
    };
    for (const auto& c : cases) {
        for (int size : c.sizes) check(c.id, c.name, size);
    }
    for (int index = 0; index < DV_MENU_IMAGE_COUNT; ++index) {
        for (int size : {16, 24, 32}) check(IDI_MENU_FIRST + index, "menu image", size);
    }
}

TEST(ResourcesTest, BuiltInSoundsArePlayableWaves) {
    const struct {
        const wchar_t* name;
        double seconds;
    } cases[] = {{L"" DV_SOUND_ONLINE, 2.4}, {L"" DV_SOUND_COMPLETED, 2.6}};
    for (const auto& c : cases) {
        HRSRC found = FindResourceW(nullptr, c.name, MAKEINTRESOURCEW(10) /* RT_RCDATA */);
        ASSERT_NE(found, nullptr);
        const DWORD size = SizeofResource(nullptr, found);
        const auto* bytes = static_cast<const unsigned char*>(LockResource(LoadResource(nullptr, found)));
        ASSERT_GT(size, 44u);
        EXPECT_EQ(std::memcmp(bytes, "RIFF", 4), 0);
        EXPECT_EQ(std::memcmp(bytes + 8, "WAVEfmt ", 8), 0);
        std::uint16_t format, channels, bits;
        std::uint32_t rate, dataSize;
        std::memcpy(&format, bytes + 20, 2);
        std::memcpy(&channels, bytes + 22, 2);
        std::memcpy(&rate, bytes + 24, 4);
        std::memcpy(&bits, bytes + 34, 2);
        EXPECT_EQ(format, 1);  // PCM
        EXPECT_EQ(channels, 1);
        EXPECT_EQ(rate, 16000u);
        EXPECT_EQ(bits, 8);
        EXPECT_EQ(std::memcmp(bytes + 36, "data", 4), 0);
        std::memcpy(&dataSize, bytes + 40, 4);
        EXPECT_LE(44 + dataSize, size);
        EXPECT_NEAR(dataSize / 16000.0, c.seconds, 0.01);
    }
}

std::wstring VersionString(const std::wstring& key) {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &handle);
    if (size == 0) return L"<none>";
    std::string block(size, '\0');
    if (!GetFileVersionInfoW(path, 0, size, block.data())) return L"<none>";
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), (L"\\StringFileInfo\\040904B0\\" + key).c_str(), &value, &length)) {
        return L"<missing>";
    }
    return static_cast<const wchar_t*>(value);
}

TEST(ResourcesTest, VersionInformationNamesTheProductAndItsHomePage) {
    EXPECT_EQ(VersionString(L"FileVersion"), L"1.0.0.0");
    EXPECT_EQ(VersionString(L"ProductName"), L"Dockvane\u2122");
    EXPECT_EQ(VersionString(L"Comments"), L"https://www.dockvane.com");
}

}  // namespace
}  // namespace dv
