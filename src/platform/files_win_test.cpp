// The Windows side of files and text, through the real API.
#include <gtest/gtest.h>

#include <string>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/handles_win.h"
#include "platform/host_links_win_test.h"
#include "platform/text.h"
#include "platform/windows_include.h"
#include "testing/temp_folder.h"

namespace dv::fs {
namespace {

using dv::testing::HostLinkFolder;
using dv::testing::ReadBytes;
using dv::testing::TempFolder;
using dv::testing::ToFsPath;
using dv::testing::WriteBytes;

TEST(WinText, SystemCodePageMatchesTheApi) {
    // Every byte of the system code page through our conversion and through the API directly.
    for (int b = 0x20; b < 0x100; ++b) {
        const char byte = static_cast<char>(b);
        wchar_t wide[2] = {};
        ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, &byte, 1, wide, 2), 1);
        EXPECT_EQ(FromAnsi(std::string(1, byte)), std::u16string(1, static_cast<char16_t>(wide[0]))) << b;
    }
    EXPECT_EQ(FromAnsi(ToAnsi(u"caf\u00E9")), u"caf\u00E9");
}

TEST(WinFiles, ReplaceAndReadThroughTheApi) {
    TempFolder folder;
    const std::u16string file = folder.File(u"velmora-activity.log");
    ReplaceFileContents(file, "one\r\n");
    ReplaceFileContents(file, "two\r\n");
    EXPECT_EQ(ReadBytes(ToFsPath(file)), "two\r\n");
    EXPECT_FALSE(FileExists(CompleteTwinOf(file)));
    EXPECT_FALSE(FileExists(file + u".dvpart"));

    ASSERT_TRUE(AppendToFile(file, "three\r\n").ok());
    EXPECT_EQ(ReadReplaceableFile(file), "two\r\nthree\r\n");

    ASSERT_TRUE(RemoveFile(file).ok());
    WriteBytes(ToFsPath(CompleteTwinOf(file)), "twin");
    EXPECT_EQ(ReadReplaceableFile(file), "twin");
}

TEST(WinFiles, FailuresKeepTheOldFileAndCarryTheSystemReason) {
    TempFolder folder;
    const std::u16string file = folder.File(u"Settings.ini");
    ReplaceFileContents(file, "old");
    ASSERT_TRUE(MakeDirectory(file + u".dvpart").ok());
    EXPECT_THROW(ReplaceFileContents(file, "new"), EFCreateError);
    EXPECT_EQ(ReadBytes(ToFsPath(file)), "old");

    try {
        ReplaceFileContents(folder.File(u"missing\\x.ini"), "x");
        FAIL() << "no error";
    } catch (const EFCreateError& error) {
        EXPECT_EQ(error.Message(), CannotCreateMessage(folder.File(u"missing\\x.ini"), kPathNotFound));
    }
    EXPECT_EQ(SystemErrorText(kFileNotFound).back(), u'.');  // no line end left over
}

DWORD AttributesOf(const std::u16string& path) {
    return ::GetFileAttributesW(ToWide(path).c_str());
}

TEST(WinFiles, ReplacementKeepsHiddenAndSystem) {
    TempFolder folder;
    const std::u16string file = folder.File(u"velmora.conf");
    ReplaceFileContents(file, "old");
    ASSERT_TRUE(::SetFileAttributesW(ToWide(file).c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    ReplaceFileContents(file, "new");
    EXPECT_EQ(ReadBytes(ToFsPath(file)), "new");
    EXPECT_EQ(AttributesOf(file) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY),
              DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM});
    EXPECT_TRUE(AttributesOf(file) & FILE_ATTRIBUTE_ARCHIVE);  // its content changed
    EXPECT_EQ(ReadFileAttributes(file), AttributesOf(file));

    // Twins a kill left behind, hidden too, do not stand in the way.
    WriteBytes(ToFsPath(file + u".dvpart"), "half");
    WriteBytes(ToFsPath(CompleteTwinOf(file)), "stale");
    for (const std::u16string& twin : {file + u".dvpart", CompleteTwinOf(file)}) {
        ASSERT_TRUE(::SetFileAttributesW(ToWide(twin).c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    }
    ReplaceFileContents(file, "newer");
    EXPECT_EQ(ReadBytes(ToFsPath(file)), "newer");
    EXPECT_EQ(AttributesOf(file) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
              DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM});
    EXPECT_FALSE(FileExists(file + u".dvpart"));
    EXPECT_FALSE(FileExists(CompleteTwinOf(file)));
}

TEST(WinFiles, FileThatCannotBeWrittenIsLeftAsItWas) {
    const struct {
        const char* name;
        DWORD attributes;    // given to the file
        DWORD shareMode;     // of a handle held open on it meanwhile (0: none)
        std::uint32_t code;  // the reason the error names (0: the system's choice)
    } cases[] = {
        {"read-only", FILE_ATTRIBUTE_READONLY, 0, kAccessDenied},
        {"read-only and hidden", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN, 0, kAccessDenied},
        {"in use by a reader that does not share deletion", FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        const std::u16string file = folder.File(u"velmora.conf");
        WriteBytes(ToFsPath(file), "kept");
        WriteBytes(ToFsPath(CompleteTwinOf(file)), "stale");
        ASSERT_TRUE(::SetFileAttributesW(ToWide(file).c_str(), c.attributes));
        UniqueFileHandle held;
        if (c.shareMode != 0) {
            held.reset(::CreateFileW(ToWide(file).c_str(), GENERIC_READ, c.shareMode, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
            ASSERT_TRUE(held);
        }
        try {
            ReplaceFileContents(file, "new");
            ADD_FAILURE() << "no error";
        } catch (const EFCreateError& error) {
            const std::u16string prefix = u"Cannot create file \"" + file + u"\". ";
            EXPECT_EQ(error.Message().substr(0, prefix.size()), prefix);
            if (c.code != 0) {
                EXPECT_EQ(error.Message(), CannotCreateMessage(file, c.code));
            }
        }
        held.reset();
        EXPECT_EQ(ReadBytes(ToFsPath(file)), "kept");
        constexpr DWORD kShown = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
        EXPECT_EQ(AttributesOf(file) & kShown, c.attributes & kShown);
        EXPECT_FALSE(FileExists(file + u".dvpart"));
        EXPECT_FALSE(FileExists(CompleteTwinOf(file)));
        ::SetFileAttributesW(ToWide(file).c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST(WinFiles, FoldersAndMoves) {
    TempFolder folder;
    const std::u16string sub = folder.File(u"Velmora");
    ASSERT_TRUE(MakeDirectory(sub).ok());
    EXPECT_TRUE(DirectoryExists(sub));
    EXPECT_FALSE(FileExists(sub));
    ASSERT_TRUE(WriteNewFile(sub + u"\\Settings.ini", "x").ok());
    EXPECT_FALSE(RemoveEmptyDirectory(sub).ok());
    ASSERT_TRUE(WriteNewFile(folder.File(u"Settings.ini"), "y").ok());
    EXPECT_FALSE(MoveFileTo(sub + u"\\Settings.ini", folder.File(u"Settings.ini")).ok());
    EXPECT_TRUE(MoveFileReplacing(sub + u"\\Settings.ini", folder.File(u"Settings.ini")).ok());
    EXPECT_TRUE(RemoveEmptyDirectory(sub).ok());
}

TEST(WinFiles, OwnFolderThroughTheApi) {
    TempFolder root;
    const std::u16string folder = root.File(u"Dockvane_IoTestFolder");
    EXPECT_EQ(EntryKindAt(folder), EntryKind::None);
    EXPECT_EQ(RemoveOwnFolder(folder, {u"own.tst"}), OwnFolderRemoval::Absent);

    ASSERT_TRUE(MakeDirectory(folder).ok());
    EXPECT_EQ(EntryKindAt(folder), EntryKind::Directory);
    ASSERT_TRUE(WriteNewFile(folder + u"\\OWN.TST", "x").ok());
    EXPECT_EQ(EntryKindAt(folder + u"\\own.tst"), EntryKind::File);
    ASSERT_TRUE(WriteNewFile(folder + u"\\notes.txt", "mine").ok());
    EXPECT_EQ(RemoveOwnFolder(folder, {u"own.tst"}), OwnFolderRemoval::Foreign);
    EXPECT_EQ(ReadBytes(ToFsPath(folder + u"\\notes.txt")), "mine");
    EXPECT_TRUE(FileExists(folder + u"\\own.tst"));

    ASSERT_TRUE(RemoveFile(folder + u"\\notes.txt").ok());
    EXPECT_EQ(RemoveOwnFolder(folder, {u"own.tst"}), OwnFolderRemoval::Removed);
    EXPECT_EQ(EntryKindAt(folder), EntryKind::None);

    ASSERT_TRUE(MakeDirectory(folder).ok());
    EXPECT_EQ(RemoveOwnFolder(folder, {}), OwnFolderRemoval::Removed);
    ASSERT_TRUE(WriteNewFile(folder, "a file").ok());
    EXPECT_EQ(RemoveOwnFolder(folder, {}), OwnFolderRemoval::Foreign);
    EXPECT_TRUE(FileExists(folder));
}

TEST(WinFiles, HostLinkToAFolderIsNotFollowed) {
    if (!HostLinkFolder::Available()) GTEST_SKIP() << "no host files on Z: (not under Wine)";
    HostLinkFolder host;
    const std::u16string base = FromWide(host.Windows());
    ASSERT_TRUE(MakeDirectory(base + u"\\outside").ok());
    ASSERT_TRUE(WriteNewFile(base + u"\\outside\\own.tst", "elsewhere").ok());
    ASSERT_TRUE(host.Link(L"outside", L"Dockvane_IoTestFolder"));
    const std::u16string link = base + u"\\Dockvane_IoTestFolder";
    ASSERT_TRUE(FileExists(link + u"\\own.tst"));  // the link reaches the folder elsewhere

    EXPECT_EQ(EntryKindAt(link), EntryKind::Link);
    EXPECT_EQ(RemoveOwnFolder(link, {u"own.tst"}), OwnFolderRemoval::Foreign);
    EXPECT_EQ(EntryKindAt(link), EntryKind::Link);
    EXPECT_EQ(ReadBytes(ToFsPath(base + u"\\outside\\own.tst")), "elsewhere");
}

TEST(WinFiles, SystemFolders) {
    const std::u16string temp = GetTempDir();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.back(), u'\\');
    EXPECT_TRUE(DirectoryExists(temp));
    EXPECT_TRUE(DirectoryExists(GetLocalAppDataFolder()));
}

}  // namespace
}  // namespace dv::fs
