#include "platform/files.h"

#include <gtest/gtest.h>

#include "platform/errors.h"
#include "testing/temp_folder.h"

namespace dv::fs {
namespace {

using dv::testing::ReadBytes;
using dv::testing::TempFolder;
using dv::testing::ToFsPath;
using dv::testing::WriteBytes;

class ReplaceFileTest : public ::testing::Test {
protected:
    TempFolder folder;
    std::u16string file = folder.File(u"velmora.conf");
};

TEST_F(ReplaceFileTest, CreatesAndReplacesLeavingNoTwins) {
    ReplaceFileContents(file, "first");
    EXPECT_EQ(ReadBytes(ToFsPath(file)), "first");
    ReplaceFileContents(file, "second, longer");
    EXPECT_EQ(ReadBytes(ToFsPath(file)), "second, longer");
    ReplaceFileContents(file, "");
    EXPECT_EQ(ReadBytes(ToFsPath(file)), "");
    EXPECT_FALSE(FileExists(file + u".dvpart"));
    EXPECT_FALSE(FileExists(CompleteTwinOf(file)));
}

TEST_F(ReplaceFileTest, FailedReplacementLeavesTheOldFileAndRaisesCreateError) {
    ReplaceFileContents(file, "old");
    // A folder where the partial file would go makes the write fail.
    ASSERT_TRUE(MakeDirectory(file + u".dvpart").ok());
    try {
        ReplaceFileContents(file, "new");
        FAIL() << "no error";
    } catch (const EFCreateError& error) {
        EXPECT_NE(error.Message().find(file), std::u16string::npos);
    }
    EXPECT_EQ(ReadBytes(ToFsPath(file)), "old");
    EXPECT_FALSE(FileExists(CompleteTwinOf(file)));
}

TEST_F(ReplaceFileTest, MissingFolderRaisesCreateError) {
    EXPECT_THROW(ReplaceFileContents(folder.File(u"no-such-folder/x.log"), "x"), EFCreateError);
}

TEST_F(ReplaceFileTest, ReadingTakesTheCompleteTwinOnlyWhenTheFileIsMissing) {
    EXPECT_EQ(ReadReplaceableFile(file), std::nullopt);

    // The state a crash leaves between deleting the file and renaming its twin.
    WriteBytes(ToFsPath(CompleteTwinOf(file)), "from twin");
    EXPECT_EQ(ReadReplaceableFile(file), "from twin");

    WriteBytes(ToFsPath(file), "from file");
    EXPECT_EQ(ReadReplaceableFile(file), "from file");

    // A partial twin is never taken.
    ASSERT_TRUE(DeleteReplaceableFile(file));
    WriteBytes(ToFsPath(file + u".dvpart"), "half writ");
    EXPECT_EQ(ReadReplaceableFile(file), std::nullopt);

    // The next replacement puts everything in order.
    ReplaceFileContents(file, "whole");
    EXPECT_EQ(ReadReplaceableFile(file), "whole");
    EXPECT_FALSE(FileExists(CompleteTwinOf(file)));
}

TEST_F(ReplaceFileTest, UnreadableFileRaisesOpenError) {
    // A folder in the file's place cannot be opened as a file.
    ASSERT_TRUE(MakeDirectory(file).ok());
    EXPECT_THROW(ReadReplaceableFile(file), EFOpenError);
}

TEST(Files, PrimitivesReportWin32Codes) {
    TempFolder folder;
    const std::u16string file = folder.File(u"a.txt");
    std::string bytes;
    EXPECT_EQ(ReadWholeFile(file, bytes).code, kFileNotFound);
    EXPECT_EQ(RemoveFile(file).code, kFileNotFound);
    ASSERT_TRUE(WriteNewFile(file, "abc").ok());
    ASSERT_TRUE(AppendToFile(file, "def").ok());
    ASSERT_TRUE(ReadWholeFile(file, bytes).ok());
    EXPECT_EQ(bytes, "abcdef");
    EXPECT_FALSE(AppendToFile(folder.File(u"missing.txt"), "x").ok());

    const std::u16string other = folder.File(u"b.txt");
    ASSERT_TRUE(WriteNewFile(other, "b").ok());
    EXPECT_EQ(MoveFileTo(file, other).code, 183u);  // the target exists: nothing moves
    EXPECT_TRUE(FileExists(file));
    EXPECT_TRUE(MoveFileReplacing(file, other).ok());
    EXPECT_FALSE(FileExists(file));

    const std::u16string sub = folder.File(u"sub");
    EXPECT_TRUE(MakeDirectory(sub).ok());
    EXPECT_TRUE(DirectoryExists(sub));
    EXPECT_FALSE(FileExists(sub));
    EXPECT_FALSE(MakeDirectory(sub).ok());
    ASSERT_TRUE(WriteNewFile(sub + u"\\x", "").ok());
    EXPECT_FALSE(RemoveEmptyDirectory(sub).ok());
}

TEST(Files, DriveLettersReachOnlyMappedFolders) {
    TempFolder folder;
    MapDrive(u'Q', folder.Path());
    EXPECT_TRUE(DirectoryExists(u"Q:\\"));
    ASSERT_TRUE(WriteNewFile(u"q:\\velmora.conf", "x").ok());
    EXPECT_TRUE(FileExists(folder.File(u"velmora.conf")));

    MapDrive(u'Q', u"");
    EXPECT_FALSE(DirectoryExists(u"Q:\\"));
    EXPECT_FALSE(FileExists(u"Q:\\velmora.conf"));
    EXPECT_EQ(WriteNewFile(u"Q:\\other", "x").code, kPathNotFound);
}

TEST(Files, ErrorMessagesNameTheFileAndTheReason) {
    EXPECT_EQ(CannotCreateMessage(u"E:\\a.log", kAccessDenied), u"Cannot create file \"E:\\a.log\". Access is denied.");
    EXPECT_EQ(CannotOpenMessage(u"E:\\a.log", kFileNotFound),
              u"Cannot open file \"E:\\a.log\". The system cannot find the file specified.");
}

}  // namespace
}  // namespace dv::fs
