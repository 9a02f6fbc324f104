// The machine folder and the takeover of a person's settings through the real system calls.
#include <gtest/gtest.h>

#include "platform/windows_include.h"

#include <aclapi.h>

#include <string>
#include <vector>

#include "logging/log_records_test.h"
#include "logging/logs.h"
#include "platform/files.h"
#include "platform/host_links_win_test.h"
#include "platform/text.h"
#include "settings/app_settings.h"
#include "settings/machine_folder.h"
#include "settings/settings_migration.h"
#include "testing/temp_folder.h"

namespace dv {
namespace {

using testing::HostLinkFolder;
using testing::ReadBytes;
using testing::TempFolder;
using testing::ToFsPath;
using testing::WriteBytes;

struct TAce {
    std::vector<BYTE> sid;
    ACCESS_MASK mask;
};

// The allowing entries of a folder's DACL.
std::vector<TAce> AllowedEntries(const std::u16string& folder) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::vector<TAce> entries;
    if (::GetNamedSecurityInfoW(ToWide(folder).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        return entries;
    }
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(dacl, i, &ace) || static_cast<ACE_HEADER*>(ace)->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        auto* sid = reinterpret_cast<BYTE*>(&allowed->SidStart);
        entries.push_back({std::vector<BYTE>(sid, sid + ::GetLengthSid(sid)), allowed->Mask});
    }
    ::LocalFree(descriptor);
    return entries;
}

std::vector<BYTE> ProcessUserSid() {
    HANDLE token = nullptr;
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token);
    BYTE buffer[256] = {};
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size);
    ::CloseHandle(token);
    const PSID sid = reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
    return std::vector<BYTE>(static_cast<BYTE*>(sid), static_cast<BYTE*>(sid) + ::GetLengthSid(sid));
}

TEST(WinMachineFolder, IsMadeForSystemAndAdministratorsOnly) {
    TempFolder base;
    const auto folder = PrepareMachineFolder(base.Path());
    ASSERT_TRUE(folder);
    EXPECT_EQ(*folder, base.File(u"Dockvane"));
    EXPECT_EQ(AppLogPath(), base.File(u"Dockvane\\Velmora.log"));
    SetAppLogFolder(u"");

    // Wine keeps no DACL of its own: it shows the host permissions, SYSTEM and the host user (the
    // process's) with full control, and Everyone when others may read. Windows keeps the two entries.
    const std::vector<BYTE> user = ProcessUserSid();
    bool system = false;
    const std::vector<TAce> entries = AllowedEntries(*folder);
    ASSERT_FALSE(entries.empty());
    for (const TAce& ace : entries) {
        const PSID sid = const_cast<BYTE*>(ace.sid.data());
        const bool known = ::IsWellKnownSid(sid, WinLocalSystemSid) ||
                           ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || ace.sid == user;
        EXPECT_TRUE(known) << "an entry for someone else, mask " << ace.mask;
        if (::IsWellKnownSid(sid, WinLocalSystemSid)) system = (ace.mask & FILE_ALL_ACCESS) == FILE_ALL_ACCESS;
    }
    EXPECT_TRUE(system);
    const TFolderFacts facts = ReadFolderFacts(*folder);
    EXPECT_FALSE(facts.othersMayRead);
    EXPECT_EQ(DecideMachineFolder(facts), TFolderVerdict::Use);

    // A second start uses it as it is.
    ASSERT_TRUE(fs::WriteNewFile(*folder + u"\\Settings.ini", "[General]\r\n").ok());
    EXPECT_EQ(PrepareMachineFolder(base.Path()), folder);
    SetAppLogFolder(u"");
    EXPECT_EQ(ReadBytes(ToFsPath(*folder + u"\\Settings.ini")), "[General]\r\n");
}

// A planted link is moved aside natively (machine_folder_test.cpp): Wine 8's MoveFileExW renames the
// folder a host symbolic link leads to, not the link, so that case cannot be shown here.
TEST(WinMachineFolder, PlantedFolderIsMovedAsideAndLogged) {
    if (!HostLinkFolder::Available()) GTEST_SKIP() << "no host files on Z: (not under Wine)";
    struct Case {
        const char* name;
        bool (*plant)(HostLinkFolder& host);
        const char16_t* reason;
    };
    const Case cases[] = {
        {"a folder everybody may write to",
         [](HostLinkFolder& host) {
             const std::wstring folder = host.Windows() + L"\\Dockvane";
             return ::CreateDirectoryW(folder.c_str(), nullptr) &&
                    host.Host(L"Z:\\bin\\chmod 777 " + host.Unix() + L"/Dockvane",
                              [folder] { return ReadFolderFacts(FromWide(folder)).othersMayWrite; });
         },
         u"writable by other accounts"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HostLinkFolder host;
        ASSERT_TRUE(c.plant(host));
        const std::u16string base = FromWide(host.Windows());
        const auto folder = PrepareMachineFolder(base);
        ASSERT_TRUE(folder);
        EXPECT_EQ(fs::EntryKindAt(*folder), fs::EntryKind::Directory);
        EXPECT_EQ(DecideMachineFolder(ReadFolderFacts(*folder)), TFolderVerdict::Use);
        const auto records = testing::LogRecords(AppLogPath());
        SetAppLogFolder(u"");
        ASSERT_EQ(records.size(), 1u);
        EXPECT_TRUE(records[0].starts_with(u" ERROR | The folder " + *folder + u" was not Dockvane's own (" + c.reason +
                                           u"): moved aside to " + *folder + u".untrusted-"))
            << ToUtf8(records[0]);
        const std::u16string aside = records[0].substr(records[0].find(u"moved aside to ") + 15);
        EXPECT_NE(fs::EntryKindAt(aside), fs::EntryKind::None);
    }
}

TEST(WinMachineFolder, LinkAsAUserSettingsFileIsRefused) {
    if (!HostLinkFolder::Available()) GTEST_SKIP() << "no host files on Z: (not under Wine)";
    HostLinkFolder host;
    const std::u16string base = FromWide(host.Windows());
    TempFolder machine;
    TempFolder logs;
    testing::ScopedAppLogFolder appLog{logs.Path()};
    // Someone else's file, and a link to it where a person's own settings would be: Wine shows a host
    // link to a file as the file it reaches.
    ASSERT_TRUE(::CreateDirectoryW((host.Windows() + L"\\other").c_str(), nullptr));
    ASSERT_TRUE(fs::WriteNewFile(base + u"\\other\\Settings.ini", "[General]\r\n RegistrationCode=planted\r\n").ok());
    ASSERT_TRUE(::CreateDirectoryW((host.Windows() + L"\\dockvane").c_str(), nullptr));
    ASSERT_TRUE(host.Link(L"other/Settings.ini", L"dockvane/Settings.ini"));
    ASSERT_TRUE(fs::FileExists(base + u"\\dockvane\\Settings.ini"));

    const auto files = UserSettingsFiles({base});
    EXPECT_EQ(TakeOverUserSettings(machine.File(u"Settings.ini"), files), std::nullopt);
    EXPECT_FALSE(fs::FileExists(machine.File(u"Settings.ini")));
    const auto records = testing::LogRecords(logs.File(u"Velmora.log"));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(records[0].starts_with(u" ERROR | Settings not taken over from " + files[0] + u": "));
}

TEST(WinMachineFolder, UserSettingsAreTakenOverThroughTheProfileFunctions) {
    TempFolder appData;
    TempFolder machine;
    TempFolder logs;
    testing::ScopedAppLogFolder appLog{logs.Path()};
    ASSERT_TRUE(fs::MakeDirectory(appData.File(u"dockvane")).ok());
    const std::string file = "[General]\r\n RegistrationCode=salt-of-old\r\nAutoPlay=1\r\n[Sounds]\r\nDone=x.wav\r\n";
    WriteBytes(ToFsPath(appData.File(u"dockvane\\Settings.ini")), file);
    const std::u16string machineFile = GetSettingsFileName(machine.Path(), UserSettingsFiles({appData.Path()}));
    EXPECT_EQ(ReadBytes(ToFsPath(machineFile)), file);
    TApplicationSettings settings(machineFile);
    settings.Load();
    EXPECT_EQ(settings.FPasswordSalt, u"salt-of-old");
    EXPECT_EQ(settings.FAutoPlay, 1);
    EXPECT_EQ(settings.FSoundBackupDone, u"x.wav");
}

TEST(WinMachineFolder, ProfilesOfTheComputerAreFound) {
    const std::vector<std::u16string> folders = UserLocalAppDataFolders();
    ASSERT_FALSE(folders.empty());
    EXPECT_EQ(folders.front(), fs::GetLocalAppDataFolder());
    // Wine lists the one profile of the host user, whose local folder is the current user's.
    bool profile = false;
    for (std::size_t i = 1; i < folders.size(); ++i) profile = profile || EqualsIgnoreCase(folders[i], folders[0]);
    EXPECT_TRUE(profile);
}

}  // namespace
}  // namespace dv
