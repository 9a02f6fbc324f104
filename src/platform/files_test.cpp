#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/errors.h"
#include "platform/text.h"
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

// Away from Windows a file's attributes are its permission bits and the extended attribute in which
// Wine and Samba keep the hidden and system attributes.
mode_t ModeOf(const std::u16string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(ToFsPath(path).c_str(), &info), 0);
    return info.st_mode & 07777;
}

std::string DosAttributesOf(const std::u16string& path) {
    char value[64] = {};
    const ssize_t length = ::getxattr(ToFsPath(path).c_str(), "user.DOSATTRIB", value, sizeof value);
    return length < 0 ? std::string() : std::string(value, static_cast<std::size_t>(length));
}

TEST_F(ReplaceFileTest, ReplacementKeepsTheFilesAttributes) {
    WriteBytes(ToFsPath(file), "old");
    ASSERT_EQ(::chmod(ToFsPath(file).c_str(), 0640), 0);
    if (::setxattr(ToFsPath(file).c_str(), "user.DOSATTRIB", "0x2", 3, 0) != 0) {
        GTEST_SKIP() << "no extended attributes on this file system";
    }
    ReplaceFileContents(file, "new");
    EXPECT_EQ(ReadBytes(ToFsPath(file)), "new");
    EXPECT_EQ(ModeOf(file), 0640u);
    EXPECT_EQ(DosAttributesOf(file), "0x2");  // still hidden
    EXPECT_EQ(ReadFileAttributes(file).value_or(0) & (kHiddenAttribute | kReadOnlyAttribute), kHiddenAttribute);

    // A new file gets the usual ones.
    const std::u16string other = folder.File(u"other.conf");
    ReplaceFileContents(other, "x");
    EXPECT_EQ(DosAttributesOf(other), "");
}

TEST_F(ReplaceFileTest, ReadOnlyFileIsNotReplaced) {
    // Windows refuses to write a read-only file, even to an administrator; so does this layer, for
    // whoever runs it.
    WriteBytes(ToFsPath(file), "kept");
    ASSERT_EQ(::chmod(ToFsPath(file).c_str(), 0444), 0);
    try {
        ReplaceFileContents(file, "new");
        FAIL() << "no error";
    } catch (const EFCreateError& error) {
        EXPECT_EQ(error.Message(), CannotCreateMessage(file, kAccessDenied));
    }
    EXPECT_EQ(ReadBytes(ToFsPath(file)), "kept");
    EXPECT_EQ(ModeOf(file), 0444u);
    EXPECT_FALSE(FileExists(file + u".dvpart"));
    EXPECT_FALSE(FileExists(CompleteTwinOf(file)));
    EXPECT_EQ(WriteNewFile(file, "x").Code, kAccessDenied);
    EXPECT_EQ(AppendToFile(file, "x").Code, kAccessDenied);
    EXPECT_EQ(ReadBytes(ToFsPath(file)), "kept");
}

TEST_F(ReplaceFileTest, StaleTwinBesideTheFileGoesWithTheNextReplacement) {
    // A twin beside an existing file is left over (a kill between the two renames); it must not
    // stand in for the file once the file is moved away or deleted.
    const struct {
        const char* name;
        void (*block)(const std::u16string& file);
        bool fails;
    } cases[] = {
        {"replacement succeeds", [](const std::u16string&) {}, false},
        {"partial file cannot be written",
         [](const std::u16string& f) { ASSERT_TRUE(MakeDirectory(f + u".dvpart").ok()); }, true},
        {"file is read-only", [](const std::u16string& f) { ASSERT_EQ(::chmod(ToFsPath(f).c_str(), 0444), 0); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder here;
        const std::u16string conf = here.File(u"velmora.conf");
        WriteBytes(ToFsPath(conf), "current");
        WriteBytes(ToFsPath(CompleteTwinOf(conf)), "stale");
        c.block(conf);
        if (c.fails) {
            EXPECT_THROW(ReplaceFileContents(conf, "next"), EFCreateError);
            EXPECT_EQ(ReadBytes(ToFsPath(conf)), "current");
        } else {
            ReplaceFileContents(conf, "next");
        }
        EXPECT_FALSE(FileExists(CompleteTwinOf(conf)));
        ASSERT_EQ(::rename(ToFsPath(conf).c_str(), ToFsPath(here.File(u"moved")).c_str()), 0);
        EXPECT_EQ(ReadReplaceableFile(conf), std::nullopt);
    }
}

TEST_F(ReplaceFileTest, MovingAwayTakesTheTwinThatStandsInOrIsStale) {
    const struct {
        const char* name;
        const char* file;  // nullptr: missing
        const char* twin;
        const char* moved;  // what the new name holds afterwards
    } cases[] = {
        {"file alone", "file", nullptr, "file"},
        {"twin alone stands in for the file", nullptr, "twin", "twin"},
        {"stale twin beside the file", "file", "stale", "file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder here;
        const std::u16string conf = here.File(u"velmora.conf");
        const std::u16string aside = here.File(u"velmora.conf.inactive");
        if (c.file) WriteBytes(ToFsPath(conf), c.file);
        if (c.twin) WriteBytes(ToFsPath(CompleteTwinOf(conf)), c.twin);
        EXPECT_TRUE(ReplaceableFileExists(conf));
        ASSERT_TRUE(MoveReplaceableFile(conf, aside).ok());
        EXPECT_EQ(ReadReplaceableFile(aside), c.moved);
        EXPECT_FALSE(ReplaceableFileExists(conf));
        EXPECT_EQ(ReadReplaceableFile(conf), std::nullopt);
    }
    TempFolder empty;
    EXPECT_FALSE(ReplaceableFileExists(empty.File(u"velmora.conf")));
    EXPECT_FALSE(MoveReplaceableFile(empty.File(u"velmora.conf"), empty.File(u"aside")).ok());
}

TEST_F(ReplaceFileTest, UnreadableFileRaisesOpenError) {
    // A folder in the file's place cannot be opened as a file.
    ASSERT_TRUE(MakeDirectory(file).ok());
    EXPECT_THROW(ReadReplaceableFile(file), EFOpenError);
}

TEST_F(ReplaceFileTest, TextLinesKeepTheirEncoding) {
    WriteBytes(ToFsPath(file), std::string("\xFE\xFF\0a\0\n\x20\xAC", 8));
    const std::optional<TextLines> text = ReadTextFile(file);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->encoding, TextEncoding::Utf16BeBom);
    EXPECT_EQ(text->lines, (std::vector<std::u16string>{u"a", u"\u20AC"}));
    EXPECT_EQ(EncodeTextLines(text->lines, text->encoding), std::string("\xFE\xFF\0a\0\r\0\n\x20\xAC\0\r\0\n", 14));
    EXPECT_EQ(EncodeTextLines(text->lines), "a\r\n\x80\r\n");  // the system code page unless told
}

TEST_F(ReplaceFileTest, HalfACharacterAtTheEndIsAnOpenError) {
    // Writing such a text back would lose its last byte: it is refused with a reason, and left alone.
    const std::string bytes("\xFF\xFEk\0=\0v", 7);
    WriteBytes(ToFsPath(file), bytes);
    try {
        (void)ReadTextFile(file);
        FAIL() << "no error";
    } catch (const EFOpenError& error) {
        EXPECT_EQ(error.Message(), u"Cannot open file \"" + file +
                                       u"\". Its byte-order mark says UTF-16, but it holds an odd number of bytes.");
    }
    EXPECT_EQ(ReadBytes(ToFsPath(file)), bytes);
}

TEST_F(ReplaceFileTest, FileLargerThanAskedForIsAnOpenError) {
    WriteBytes(ToFsPath(file), "12345");
    EXPECT_EQ(ReadReplaceableFile(file, 5), "12345");
    try {
        (void)ReadReplaceableFile(file, 4);
        FAIL() << "no error";
    } catch (const EFOpenError& error) {
        EXPECT_EQ(error.Message(), u"Cannot open file \"" + file + u"\". It holds more than 4 bytes.");
    }
    std::string bytes;
    EXPECT_EQ(ReadWholeFile(file, bytes, 4).Code, kFileTooLarge);
}

TEST(Files, PrimitivesReportWin32Codes) {
    TempFolder folder;
    const std::u16string file = folder.File(u"a.txt");
    std::string bytes;
    EXPECT_EQ(ReadWholeFile(file, bytes).Code, kFileNotFound);
    EXPECT_EQ(RemoveFile(file).Code, kFileNotFound);
    ASSERT_TRUE(WriteNewFile(file, "abc").ok());
    ASSERT_TRUE(AppendToFile(file, "def").ok());
    ASSERT_TRUE(ReadWholeFile(file, bytes).ok());
    EXPECT_EQ(bytes, "abcdef");
    EXPECT_FALSE(AppendToFile(folder.File(u"missing.txt"), "x").ok());

    const std::u16string other = folder.File(u"b.txt");
    ASSERT_TRUE(WriteNewFile(other, "b").ok());
    EXPECT_EQ(MoveFileTo(file, other).Code, 183u);  // the target exists: nothing moves
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
    EXPECT_EQ(WriteNewFile(u"Q:\\other", "x").Code, kPathNotFound);
}

TEST(Files, EntryKindIsThatOfTheNameItself) {
    namespace stdfs = std::filesystem;
    TempFolder folder;
    WriteBytes(folder.path() / "file", "x");
    stdfs::create_directory(folder.path() / "folder");
    stdfs::create_directory_symlink(folder.path() / "folder", folder.path() / "to-folder");
    stdfs::create_symlink(folder.path() / "file", folder.path() / "to-file");
    stdfs::create_symlink(folder.path() / "gone", folder.path() / "to-nothing");
    MapDrive(u'Q', folder.Path());
    const std::pair<std::u16string, EntryKind> cases[] = {
        {folder.File(u"file"), EntryKind::File},       {folder.File(u"folder"), EntryKind::Directory},
        {folder.File(u"to-folder"), EntryKind::Link},  {folder.File(u"to-file"), EntryKind::Link},
        {folder.File(u"to-nothing"), EntryKind::Link}, {folder.File(u"missing"), EntryKind::None},
        {u"Q:\\to-folder", EntryKind::Link},           {u"R:\\file", EntryKind::None},  // no folder behind the letter
    };
    for (const auto& [path, kind] : cases) EXPECT_EQ(EntryKindAt(path), kind) << ToUtf8(path);
    // Through a link further up, the name's own kind: only the last name is not followed.
    EXPECT_EQ(EntryKindAt(folder.File(u"to-folder") + u"\\"), EntryKind::Directory);
    MapDrive(u'Q', u"");
}

TEST(Files, OwnFolderIsRemovedOnlyWhenAllOfItIsTheCallers) {
    namespace stdfs = std::filesystem;
    using enum OwnFolderRemoval;
    struct Case {
        const char* name;
        std::function<void(const stdfs::path& folder, const stdfs::path& outside)> make;
        OwnFolderRemoval result;
    };
    const Case cases[] = {
        {"nothing there", [](const stdfs::path&, const stdfs::path&) {}, Absent},
        {"empty", [](const stdfs::path& f, const stdfs::path&) { stdfs::create_directory(f); }, Removed},
        {"own files, in any case",
         [](const stdfs::path& f, const stdfs::path&) {
             stdfs::create_directory(f);
             WriteBytes(f / "own.tst", "1");
             WriteBytes(f / "OTHER-OWN.TST", "");
         },
         Removed},
        {"an own file and another",
         [](const stdfs::path& f, const stdfs::path&) {
             stdfs::create_directory(f);
             WriteBytes(f / "own.tst", "1");
             WriteBytes(f / "notes.txt", "mine");
         },
         Foreign},
        {"a link to a folder with an own file",
         [](const stdfs::path& f, const stdfs::path& outside) { stdfs::create_directory_symlink(outside, f); },
         Foreign},
        {"a link that reaches nothing",
         [](const stdfs::path& f, const stdfs::path& outside) { stdfs::create_directory_symlink(outside / "gone", f); },
         Foreign},
        {"an own name that is a link",
         [](const stdfs::path& f, const stdfs::path& outside) {
             stdfs::create_directory(f);
             stdfs::create_symlink(outside / "own.tst", f / "own.tst");
         },
         Foreign},
        {"an own name that is a folder",
         [](const stdfs::path& f, const stdfs::path&) { stdfs::create_directories(f / "own.tst"); }, Foreign},
        {"a file", [](const stdfs::path& f, const stdfs::path&) { WriteBytes(f, "mine"); }, Foreign},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder root;
        TempFolder outside;
        WriteBytes(outside.path() / "own.tst", "elsewhere");
        const stdfs::path folder = root.path() / "test";
        c.make(folder, outside.path());
        const auto listing = [&] {
            std::vector<std::string> names;
            if (!stdfs::is_symlink(folder) && stdfs::is_directory(folder)) {
                for (const auto& entry : stdfs::directory_iterator(folder)) names.push_back(entry.path().string());
            }
            std::sort(names.begin(), names.end());
            return names;
        };
        const std::vector<std::string> before = listing();

        EXPECT_EQ(RemoveOwnFolder(root.File(u"test"), {u"own.tst", u"other-own.tst"}), c.result);
        EXPECT_EQ(ReadBytes(outside.path() / "own.tst"), "elsewhere");
        EXPECT_EQ(stdfs::exists(stdfs::symlink_status(folder)), c.result == Foreign);
        if (c.result == Foreign) {
            EXPECT_EQ(listing(), before);
        }
    }
    // A drive letter that reaches nothing has nothing to remove.
    EXPECT_EQ(RemoveOwnFolder(u"R:\\test", {}), Absent);
}

TEST(Files, ErrorMessagesNameTheFileAndTheReason) {
    EXPECT_EQ(CannotCreateMessage(u"E:\\a.log", kAccessDenied), u"Cannot create file \"E:\\a.log\". Access is denied.");
    EXPECT_EQ(CannotOpenMessage(u"E:\\a.log", kFileNotFound),
              u"Cannot open file \"E:\\a.log\". The system cannot find the file specified.");
}

}  // namespace
}  // namespace dv::fs
