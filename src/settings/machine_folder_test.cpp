#include "settings/machine_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "logging/log_records_test.h"
#include "logging/logs.h"
#include "testing/temp_folder.h"

namespace dv {
namespace {

using testing::TempFolder;
using testing::WriteBytes;

TEST(MachineFolder, OnlyAFolderNobodyElseControlsIsUsed) {
    struct Case {
        const char* name;
        TFolderFacts facts;
        TFolderVerdict verdict;
        const char* reason;
    };
    using K = TOwnerKind;
    using V = TFolderVerdict;
    // exists, isFolder, reparsePoint, owner, othersMayWrite, othersMayRead, processUserTrusted
    const Case cases[] = {
        {"nothing there", {false, false, false, K::Other, false, false, false}, V::Create, ""},
        {"ours, made by the Administrators", {true, true, false, K::Administrators, false, false, false}, V::Use, ""},
        {"ours, made by the service", {true, true, false, K::System, false, false, false}, V::Use, ""},
        {"ours, others may read", {true, true, false, K::Administrators, false, true, false}, V::Tighten, ""},
        {"a junction, however owned",
         {true, true, true, K::Administrators, false, false, false},
         V::MoveAside,
         "a link"},
        {"a file in its place",
         {true, false, false, K::Administrators, false, false, false},
         V::MoveAside,
         "no folder"},
        {"made by a standard user",
         {true, true, false, K::Other, true, true, false},
         V::MoveAside,
         "owned by another account, writable by other accounts"},
        {"owned by a user, DACL locked down",
         {true, true, false, K::Other, false, false, false},
         V::MoveAside,
         "owned by another account"},
        {"owned by the Administrators, users may write",
         {true, true, false, K::Administrators, true, true, false},
         V::MoveAside,
         "writable by other accounts"},
        {"owned by the person running an elevated program",
         {true, true, false, K::ProcessUser, false, false, false},
         V::MoveAside,
         "owned by another account"},
        {"owned by the process user where nothing else runs as it",
         {true, true, false, K::ProcessUser, false, false, true},
         V::Use,
         ""},
        {"a trusted process user does not make a link ours",
         {true, true, true, K::ProcessUser, false, false, true},
         V::MoveAside,
         "a link"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DecideMachineFolder(c.facts), c.verdict);
        if (c.verdict == V::MoveAside) {
            EXPECT_EQ(UntrustedReason(c.facts), FromUtf8(c.reason));
        }
    }
}

TEST(MachineFolder, MovedAsideNameSaysSoAndWhen) {
    EXPECT_EQ(MovedAsideName(u"C:\\ProgramData\\Dockvane", {2026, 1, 2, 3, 4, 5}),
              u"C:\\ProgramData\\Dockvane.untrusted-20260102-030405");
}

TEST(MachineFolder, PreparedFolderIsOursAndGetsTheLog) {
    struct Case {
        const char* name;
        void (*plant)(const std::filesystem::path& folder, const std::filesystem::path& elsewhere);
        bool movedAside;
    };
    const Case cases[] = {
        {"nothing there", [](const std::filesystem::path&, const std::filesystem::path&) {}, false},
        {"ours from an earlier start",
         [](const std::filesystem::path& folder, const std::filesystem::path&) {
             std::filesystem::create_directory(folder);
             std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
             WriteBytes(folder / "Settings.ini", "kept");
         },
         false},
        {"ours, but others may read it",
         [](const std::filesystem::path& folder, const std::filesystem::path&) {
             std::filesystem::create_directory(folder);
             std::filesystem::permissions(folder,
                                          std::filesystem::perms::owner_all | std::filesystem::perms::others_read);
             WriteBytes(folder / "Settings.ini", "kept");
         },
         false},
        {"a link to elsewhere",
         [](const std::filesystem::path& folder, const std::filesystem::path& elsewhere) {
             std::filesystem::create_directory_symlink(elsewhere, folder);
         },
         true},
        {"others may write",
         [](const std::filesystem::path& folder, const std::filesystem::path&) {
             std::filesystem::create_directory(folder);
             std::filesystem::permissions(folder, std::filesystem::perms::all);
             WriteBytes(folder / "Settings.ini", "planted");
         },
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder base;
        TempFolder elsewhere;
        const auto folder = base.path() / "Dockvane";
        c.plant(folder, elsewhere.path());
        const std::optional<std::u16string> prepared = PrepareMachineFolder(base.Path());
        ASSERT_TRUE(prepared);
        EXPECT_EQ(*prepared, base.Path() + u"\\Dockvane");
        EXPECT_EQ(AppLogPath(), base.Path() + u"\\Dockvane\\Velmora.log");
        const TFolderFacts facts = ReadFolderFacts(*prepared);
        EXPECT_EQ(DecideMachineFolder(facts), TFolderVerdict::Use);
        EXPECT_FALSE(facts.othersMayRead);

        std::size_t entries = 0;
        std::u16string aside;
        for (const auto& entry : std::filesystem::directory_iterator(base.path())) {
            ++entries;
            if (entry.path().filename() != "Dockvane")
                aside = base.Path() + u"\\" + FromUtf8(entry.path().filename().string());
        }
        const auto records = testing::LogRecords(AppLogPath());
        if (c.movedAside) {
            EXPECT_EQ(entries, 2u);
            EXPECT_NE(aside.find(u"Dockvane.untrusted-"), std::u16string::npos);
            EXPECT_FALSE(std::filesystem::exists(folder / "Settings.ini"));
            ASSERT_EQ(records.size(), 1u);
            EXPECT_TRUE(records[0].starts_with(u" ERROR | The folder " + base.Path() + u"\\Dockvane" +
                                               u" was not Dockvane's own ("));
            EXPECT_TRUE(records[0].ends_with(u"): moved aside to " + aside));
        } else {
            EXPECT_EQ(entries, 1u);
            EXPECT_TRUE(records.empty());
        }
        SetAppLogFolder(u"");
    }
}

}  // namespace
}  // namespace dv
