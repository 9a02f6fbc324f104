// The face's start at every sign-in against the real registry: the machine's Run value "Dockvane",
// which the installer writes and the engine's setting writes and removes.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/handles_win.h"
#include "platform/text.h"
#include "system/system_host_win.h"

namespace dv {
namespace {

constexpr char16_t kInstalledFace[] = u"C:\\Program Files\\Dockvane\\Dockvane.exe";

struct TMachineValue {
    DWORD Type = 0;
    std::wstring Data;
};

std::optional<TMachineValue> ReadMachineRunValue(const wchar_t* name) {
    HKEY raw = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMachineRunKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &raw) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    const UniqueRegistryKey key(raw);
    TMachineValue value;
    DWORD bytes = 0;
    if (::RegQueryValueExW(key.get(), name, nullptr, &value.Type, nullptr, &bytes) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::vector<wchar_t> data(bytes / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(key.get(), name, nullptr, &value.Type, reinterpret_cast<BYTE*>(data.data()), &bytes) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    value.Data.assign(data.data());
    return value;
}

void WriteMachineRunValue(const wchar_t* name, const std::wstring& data) {
    HKEY raw = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kMachineRunKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                                nullptr, &raw, nullptr),
              ERROR_SUCCESS);
    const UniqueRegistryKey key(raw);
    ASSERT_EQ(::RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                               static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

void DeleteMachineRunValue(const wchar_t* name) {
    HKEY raw = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMachineRunKey, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &raw) !=
        ERROR_SUCCESS) {
        return;
    }
    const UniqueRegistryKey key(raw);
    ::RegDeleteValueW(key.get(), name);
}

// Each case starts and ends without the face's value, and with a person's own value beside it that
// nothing of Dockvane's may touch.
class FaceStartsAtSignIn : public testing::Test {
protected:
    static constexpr wchar_t kNeighbour[] = L"DockvaneTestNeighbour";
    static constexpr wchar_t kNeighbourData[] = L"\"C:\\Tools\\backup.exe\" --quiet";

    void SetUp() override {
        DeleteMachineRunValue(kFaceRunValueName);
        WriteMachineRunValue(kNeighbour, kNeighbourData);
    }
    void TearDown() override {
        const std::optional<TMachineValue> neighbour = ReadMachineRunValue(kNeighbour);
        EXPECT_TRUE(neighbour && neighbour->Data == kNeighbourData) << "the person's own Run value changed";
        DeleteMachineRunValue(kNeighbour);
        DeleteMachineRunValue(kFaceRunValueName);
    }
};

TEST_F(FaceStartsAtSignIn, EachSequenceOfChangesLeavesTheValueOfTheLastOne) {
    const std::wstring written = L"\"" + ToWide(kInstalledFace) + L"\"";
    struct Case {
        const char* what;
        std::optional<std::wstring> before;  // what the value held first (nothing: no value)
        std::vector<bool> changes;
        std::optional<std::wstring> after;
    };
    const Case cases[] = {
        {"switched on", std::nullopt, {true}, written},
        {"switched on twice", std::nullopt, {true, true}, written},
        {"switched on, then off", std::nullopt, {true, false}, std::nullopt},
        {"switched off without a value", std::nullopt, {false}, std::nullopt},
        {"switched off after the installer wrote it", written, {false}, std::nullopt},
        {"switched on over a value of an older place", std::wstring(L"\"D:\\Old\\Dockvane.exe\""), {true}, written},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteMachineRunValue(kFaceRunValueName);
        if (c.before) WriteMachineRunValue(kFaceRunValueName, *c.before);
        TWinSystemHost host;
        host.SetFaceProgram(kInstalledFace);
        for (const bool enabled : c.changes) EXPECT_TRUE(host.SetFaceStartsAtSignIn(enabled));
        const std::optional<TMachineValue> value = ReadMachineRunValue(kFaceRunValueName);
        ASSERT_EQ(value.has_value(), c.after.has_value());
        if (!value) continue;
        EXPECT_EQ(value->Type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(value->Data, *c.after);
    }
}

TEST_F(FaceStartsAtSignIn, AHostWithoutAFaceRefusesAndLeavesTheValue) {
    const std::wstring installed = L"\"" + ToWide(kInstalledFace) + L"\"";
    WriteMachineRunValue(kFaceRunValueName, installed);
    TWinSystemHost tray;  // the engine in the tray's own process starts no face
    EXPECT_FALSE(tray.SetFaceStartsAtSignIn(false));
    EXPECT_FALSE(tray.SetFaceStartsAtSignIn(true));
    const std::optional<TMachineValue> value = ReadMachineRunValue(kFaceRunValueName);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->Data, installed);
}

}  // namespace
}  // namespace dv
