// Files and folders. Paths are Windows paths ("E:\velmora.conf"); away from Windows, backslashes
// become slashes and a drive letter reaches a host folder only when one was mapped to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os_error.h"
#include "platform/text.h"

namespace dv::fs {

inline constexpr std::uint32_t kFileNotFound = 2;            // ERROR_FILE_NOT_FOUND
inline constexpr std::uint32_t kPathNotFound = 3;            // ERROR_PATH_NOT_FOUND
inline constexpr std::uint32_t kAccessDenied = 5;            // ERROR_ACCESS_DENIED
inline constexpr std::uint32_t kFileTooLarge = 223;          // ERROR_FILE_TOO_LARGE
inline constexpr std::uint32_t kInvalidData = 13;            // ERROR_INVALID_DATA
inline constexpr std::uint32_t kWriteFault = 29;             // ERROR_WRITE_FAULT
inline constexpr std::uint32_t kTooManyLinks = 1142;         // ERROR_TOO_MANY_LINKS
inline constexpr std::uint32_t kCantResolveFilename = 1921;  // ERROR_CANT_RESOLVE_FILENAME
inline constexpr std::size_t kAnySize = static_cast<std::size_t>(-1);

// Whether a failed call's code is the answer of a drive that is gone, going or not ready (removed
// in the middle of the call, no medium, a network drive whose server went away), rather than of a
// file that is missing or refused.
bool IsDriveGoneCode(std::uint32_t code);

// File attributes (the system's FILE_ATTRIBUTE_* values).
inline constexpr std::uint32_t kReadOnlyAttribute = 0x1;
inline constexpr std::uint32_t kHiddenAttribute = 0x2;
inline constexpr std::uint32_t kSystemAttribute = 0x4;
inline constexpr std::uint32_t kDirectoryAttribute = 0x10;
inline constexpr std::uint32_t kArchiveAttribute = 0x20;

// --- One system call each (platform files) ---

// A file of more than `maxBytes` is not read (kFileTooLarge).
TOsStatus ReadWholeFile(std::u16string_view path, std::string& bytes, std::size_t maxBytes = kAnySize);
// Creates or truncates the file, writes the bytes and flushes them to the medium.
TOsStatus WriteNewFile(std::u16string_view path, std::string_view bytes);
// Appends to an existing file and flushes.
TOsStatus AppendToFile(std::u16string_view path, std::string_view bytes);
// Moves a file over another (which may exist), through to the medium.
TOsStatus MoveFileReplacing(std::u16string_view from, std::u16string_view to);
// Moves a file to a name that must not exist yet.
TOsStatus MoveFileTo(std::u16string_view from, std::u16string_view to);
TOsStatus RemoveFile(std::u16string_view path);
TOsStatus MakeDirectory(std::u16string_view path);
TOsStatus RemoveEmptyDirectory(std::u16string_view path);
bool FileExists(std::u16string_view path);
bool DirectoryExists(std::u16string_view path);
// What stands at a path itself: a link there is not followed. A link is a symbolic link, a junction or
// any other reparse point, whatever it points to, and whether it points anywhere at all. None also when
// the path cannot be reached. Wine 8 shows a host symbolic link to a folder as a link, but one to a
// file as the file it reaches.
enum class EntryKind { None, File, Directory, Link };
EntryKind EntryKindAt(std::u16string_view path);

// What RemoveOwnFolder found at the folder's path, and did.
enum class OwnFolderRemoval {
    Absent,      // nothing there
    Removed,     // the folder, with the files of the given names in it
    Foreign,     // a link, a file, or a folder that holds anything else: left exactly as it is
    NotRemoved,  // the caller's, but the system refused the removal (write-protected, held open)
};
// Removes a folder of the caller's own making: a real folder (no link) that holds nothing but, at
// most, real files (no links) of the names given (compared without regard to case), which go first.
// No link is followed, and nothing is removed from a folder that holds anything else.
OwnFolderRemoval RemoveOwnFolder(std::u16string_view folder, const std::vector<std::u16string>& ownFiles);

// What shows that a file changed since it was last looked at: its size, its last write and which
// file it is (a file put in its place by a rename or a delete and create is another file).
struct FileStamp {
    std::uint64_t size = 0;
    std::uint64_t lastWrite = 0;  // the system's own units
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool operator==(const FileStamp&) const = default;
};
// Nothing when the file cannot be reached, or is a folder.
std::optional<FileStamp> ReadFileStamp(std::u16string_view path);
// Nothing when the file cannot be reached. Away from Windows a file without any write permission is
// read-only, and the hidden and system attributes are those Wine and Samba keep in the extended
// attribute "user.DOSATTRIB"; there, as on Windows, a read-only file is not written, whoever asks.
std::optional<std::uint32_t> ReadFileAttributes(std::u16string_view path);
// Gives `to` what a replacement keeps of `from`: hidden, system and not-content-indexed (away from
// Windows: the read and write permissions, and the extended attribute above). The archive attribute
// stays set, as on every file whose content was written.
TOsStatus CopyKeptAttributes(std::u16string_view from, std::u16string_view to);

// The system's text for an error code, without a trailing line end.
std::u16string SystemErrorText(std::uint32_t code);
// The user's temporary folder, ending with a separator.
std::u16string GetTempDir();
// The user's local application-data folder; empty when the system cannot tell it.
std::u16string GetLocalAppDataFolder();
// The machine's application-data folder (%ProgramData%), shared by every user; empty when the system
// cannot tell it. Away from Windows: the environment variable PROGRAMDATA.
std::u16string GetCommonAppDataFolder();

// A file that someone else may have placed, read without trusting its path: refused (and not read)
// when the name or any folder on the way to it is a link (kCantResolveFilename), when it is no
// regular file (kAccessDenied), when it has more than one name (kTooManyLinks: a hard link to a file
// of someone else's), and when it holds more than `maxBytes` (kFileTooLarge). What is checked and
// what is read are the same open file.
struct UntrustedFile {
    std::string bytes;
    std::uint64_t lastWrite = 0;  // the system's own units
};
TOsStatus ReadUntrustedFile(std::u16string_view path, std::size_t maxBytes, UntrustedFile& file);

// Away from Windows: lets "X:\..." reach a host folder (tests and tools); an empty folder removes the
// mapping. Paths on drive letters that are not mapped reach nothing.
void MapDrive(char16_t letter, std::u16string_view hostFolder);

// --- Whole-file replacement that never leaves a file half-written ---
//
// A replacement is written to "<file>.dvpart", flushed, given the attributes of the file it replaces,
// renamed to "<file>.dvnew" (its complete twin) and then moved over the file. Where that last move is
// a delete followed by a rename (FAT and exFAT), a crash in between leaves only the twin; reading
// then takes it. A twin beside the file itself is a replacement that never completed: it is never
// read, and the next replacement removes it whether it succeeds or not.

std::u16string CompleteTwinOf(std::u16string_view path);

// What reading a replaceable file found, without raising.
struct ReplaceableFileRead {
    std::optional<std::string> bytes;  // the file's, or its complete twin's when the file is missing
    TOsStatus status;                  // the read that failed; success when one was read or neither exists
    std::u16string failedPath;         // the file that failed read concerned
};
ReplaceableFileRead TryReadReplaceableFile(std::u16string_view path, std::size_t maxBytes = kAnySize);
// The file's bytes, or those of its complete twin when the file itself is missing; nothing when
// neither exists. Raises EFOpenError when the file exists but cannot be read, or holds more than
// `maxBytes`.
std::optional<std::string> ReadReplaceableFile(std::u16string_view path, std::size_t maxBytes = kAnySize);
// Replaces (or creates) the file, keeping its attributes. Raises EFCreateError (naming the file and
// the system's reason) when it cannot: the file is read-only, in use, on a medium that refuses writes
// or in a folder that is gone; the old file is then left as it was.
void ReplaceFileContents(std::u16string_view path, std::string_view bytes);
// Deletes the file and a twin it may have left; true when the file itself was deleted.
bool DeleteReplaceableFile(std::u16string_view path);
// Whether the file exists, or its complete twin stands in for it.
bool ReplaceableFileExists(std::u16string_view path);
// Moves the file (or the twin that stands in for it) to `to`, which must not exist, and takes a stale
// twin of the file along, so that nothing is left behind that could stand in for the file later.
TOsStatus MoveReplaceableFile(std::u16string_view from, std::u16string_view to);

// Text files: decoded by their byte-order mark or from the system code page, and written in an
// encoding of the caller's choice (a file that is written back: the one it was read in) with CR LF
// after every line.
struct TextLines {
    std::vector<std::u16string> lines;
    TextEncoding encoding = TextEncoding::SystemCodePage;
};
// Nothing when neither the file nor its twin exists. Raises EFOpenError when the file cannot be read,
// and when its text cannot be written back as it stands (UTF-16 of an odd number of bytes).
std::optional<TextLines> ReadTextFile(std::u16string_view path, std::size_t maxBytes = kAnySize);
std::optional<std::vector<std::u16string>> ReadTextLines(std::u16string_view path);
std::string EncodeTextLines(const std::vector<std::u16string>& lines,
                            TextEncoding encoding = TextEncoding::SystemCodePage);

// The messages of the file error kinds.
std::u16string CannotCreateMessage(std::u16string_view path, std::uint32_t code);
std::u16string CannotOpenMessage(std::u16string_view path, std::uint32_t code);

}  // namespace dv::fs
