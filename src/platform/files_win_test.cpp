// The Windows side of files and text, through the real API.
#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/windows_include.h"
#include "testing/temp_folder.h"

namespace dv::fs {
namespace {

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

TEST(WinFiles, SystemFolders) {
    const std::u16string temp = GetTempDir();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.back(), u'\\');
    EXPECT_TRUE(DirectoryExists(temp));
    EXPECT_TRUE(DirectoryExists(GetLocalAppDataFolder()));
}

}  // namespace
}  // namespace dv::fs
