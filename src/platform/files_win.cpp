// Files and folders on Windows.
#include "platform/files.h"
#include "platform/handles_win.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <shlobj.h>

#include "platform/text.h"
#include "platform/windows_include.h"

namespace dv::fs {

// The portable side carries these system values as plain numbers.
static_assert(kFileNotFound == ERROR_FILE_NOT_FOUND);
static_assert(kPathNotFound == ERROR_PATH_NOT_FOUND);
static_assert(kAccessDenied == ERROR_ACCESS_DENIED);
static_assert(kFileTooLarge == ERROR_FILE_TOO_LARGE);
static_assert(kInvalidData == ERROR_INVALID_DATA);
static_assert(kWriteFault == ERROR_WRITE_FAULT);
static_assert(kTooManyLinks == ERROR_TOO_MANY_LINKS);
static_assert(kCantResolveFilename == ERROR_CANT_RESOLVE_FILENAME);
static_assert(kReadOnlyAttribute == FILE_ATTRIBUTE_READONLY);
static_assert(kHiddenAttribute == FILE_ATTRIBUTE_HIDDEN);
static_assert(kSystemAttribute == FILE_ATTRIBUTE_SYSTEM);
static_assert(kDirectoryAttribute == FILE_ATTRIBUTE_DIRECTORY);
static_assert(kArchiveAttribute == FILE_ATTRIBUTE_ARCHIVE);
namespace {

TOsStatus LastError() {
    return TOsStatus{::GetLastError()};
}

bool IsLinkOrFile(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) || !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsLinkOrFolder(DWORD attributes) {
    return attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY);
}

bool Dispose(HANDLE handle) {
    FILE_DISPOSITION_INFO dispose{};
    dispose.DeleteFile = TRUE;
    return ::SetFileInformationByHandle(handle, FileDispositionInfo, &dispose, sizeof dispose);
}

// The names in the open folder, all of them the caller's own real files; nothing when the folder holds
// anything else (`foreign`) or cannot be read. Read through the handle, so from this folder alone.
std::optional<std::vector<std::wstring>> OwnEntries(HANDLE folder, const std::vector<std::u16string>& ownFiles,
                                                    bool& foreign) {
    std::vector<std::uint64_t> buffer(8192);  // the records hold 64-bit fields
    const DWORD size = static_cast<DWORD>(buffer.size() * sizeof buffer[0]);
    std::vector<std::wstring> names;
    FILE_INFO_BY_HANDLE_CLASS request = FileIdBothDirectoryRestartInfo;
    for (;;) {
        if (!::GetFileInformationByHandleEx(folder, request, buffer.data(), size)) {
            if (::GetLastError() == ERROR_NO_MORE_FILES) return names;
            return std::nullopt;
        }
        request = FileIdBothDirectoryInfo;
        const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
        for (;;) {
            const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes);
            const std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") {
                const std::u16string wide = FromWide(name);
                const bool own = std::any_of(ownFiles.begin(), ownFiles.end(),
                                             [&](const std::u16string& file) { return EqualsIgnoreCase(file, wide); });
                if (!own || IsLinkOrFolder(entry->FileAttributes)) {
                    foreign = true;
                    return std::nullopt;
                }
                names.push_back(name);
            }
            if (entry->NextEntryOffset == 0) break;
            bytes += entry->NextEntryOffset;
        }
    }
}

TOsStatus WriteAndFlush(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr)) return LastError();
        bytes.remove_prefix(written);
    }
    return ::FlushFileBuffers(file) ? TOsStatus{} : LastError();
}

}  // namespace

void MapDrive(char16_t, std::u16string_view) {
    // Drive letters are real here.
}

TOsStatus ReadWholeFile(std::u16string_view path, std::string& bytes, std::size_t maxBytes) {
    const UniqueFileHandle file(::CreateFileW(ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return LastError();
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) return LastError();
    if (static_cast<std::uint64_t>(size.QuadPart) > maxBytes) return TOsStatus{kFileTooLarge};
    bytes.assign(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        DWORD got = 0;
        if (!::ReadFile(file.get(), bytes.data() + done, chunk, &got, nullptr)) return LastError();
        if (got == 0) break;  // the file shrank meanwhile
        done += got;
    }
    bytes.resize(done);
    return {};
}

TOsStatus WriteNewFile(std::u16string_view path, std::string_view bytes) {
    const UniqueFileHandle file(::CreateFileW(ToWide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return LastError();
    return WriteAndFlush(file.get(), bytes);
}

TOsStatus AppendToFile(std::u16string_view path, std::string_view bytes) {
    const UniqueFileHandle file(::CreateFileW(ToWide(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return LastError();
    return WriteAndFlush(file.get(), bytes);
}

TOsStatus MoveFileReplacing(std::u16string_view from, std::u16string_view to) {
    return ::MoveFileExW(ToWide(from).c_str(), ToWide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? TOsStatus{}
               : LastError();
}

TOsStatus MoveFileTo(std::u16string_view from, std::u16string_view to) {
    return ::MoveFileW(ToWide(from).c_str(), ToWide(to).c_str()) ? TOsStatus{} : LastError();
}

TOsStatus RemoveFile(std::u16string_view path) {
    return ::DeleteFileW(ToWide(path).c_str()) ? TOsStatus{} : LastError();
}

TOsStatus MakeDirectory(std::u16string_view path) {
    return ::CreateDirectoryW(ToWide(path).c_str(), nullptr) ? TOsStatus{} : LastError();
}

TOsStatus RemoveEmptyDirectory(std::u16string_view path) {
    return ::RemoveDirectoryW(ToWide(path).c_str()) ? TOsStatus{} : LastError();
}

bool FileExists(std::u16string_view path) {
    const DWORD attributes = ::GetFileAttributesW(ToWide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(std::u16string_view path) {
    const DWORD attributes = ::GetFileAttributesW(ToWide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

EntryKind EntryKindAt(std::u16string_view path) {
    // Reports the entry itself: a reparse point is not followed for its attributes.
    const DWORD attributes = ::GetFileAttributesW(ToWide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return EntryKind::None;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryKind::Link;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? EntryKind::Directory : EntryKind::File;
}

OwnFolderRemoval RemoveOwnFolder(std::u16string_view folder, const std::vector<std::u16string>& ownFiles) {
    const std::wstring path = ToWide(folder);
    // The name first: Wine opens a host symbolic link's target even when asked not to, but shows the
    // link in the name's attributes.
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = ::GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? OwnFolderRemoval::Absent
                                                                            : OwnFolderRemoval::NotRemoved;
    }
    if (IsLinkOrFile(attributes)) return OwnFolderRemoval::Foreign;
    // The folder itself, not what a link put in its place meanwhile would reach; shared with nobody who
    // would rename or remove it, so that the names below reach this folder as long as it is open. It
    // goes when this handle closes.
    const UniqueFileHandle opened(::CreateFileW(path.c_str(), DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!opened || !::GetFileInformationByHandle(opened.get(), &info)) return OwnFolderRemoval::NotRemoved;
    if (IsLinkOrFile(info.dwFileAttributes)) return OwnFolderRemoval::Foreign;

    bool foreign = false;
    const auto names = OwnEntries(opened.get(), ownFiles, foreign);
    if (foreign) return OwnFolderRemoval::Foreign;
    if (!names) return OwnFolderRemoval::NotRemoved;
    for (const std::wstring& name : *names) {
        const std::wstring file = path + L"\\" + name;
        const UniqueFileHandle own(::CreateFileW(file.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                 OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        BY_HANDLE_FILE_INFORMATION fileInfo{};
        if (!own || !::GetFileInformationByHandle(own.get(), &fileInfo)) return OwnFolderRemoval::NotRemoved;
        if (IsLinkOrFolder(fileInfo.dwFileAttributes)) return OwnFolderRemoval::Foreign;
        if (!Dispose(own.get())) return OwnFolderRemoval::NotRemoved;
    }
    // Refused while anything is still in it, also a file that was held open above.
    return Dispose(opened.get()) ? OwnFolderRemoval::Removed : OwnFolderRemoval::NotRemoved;
}

std::optional<FileStamp> ReadFileStamp(std::u16string_view path) {
    // No access asked for: the file's information only, which a writer holding it open does not deny.
    const UniqueFileHandle file(::CreateFileW(ToWide(path).c_str(), 0,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file || !::GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
    const auto wide = [](DWORD high, DWORD low) { return (static_cast<std::uint64_t>(high) << 32) | low; };
    return FileStamp{wide(info.nFileSizeHigh, info.nFileSizeLow),
                     wide(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime),
                     info.dwVolumeSerialNumber, wide(info.nFileIndexHigh, info.nFileIndexLow)};
}

std::optional<std::uint32_t> ReadFileAttributes(std::u16string_view path) {
    const DWORD attributes = ::GetFileAttributesW(ToWide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    return attributes;
}

// SetFileAttributesW on the new file before it is renamed into place, rather than ReplaceFileW:
// ReplaceFileW keeps the attributes too, but it can fail half-way with the replacement left under
// another name (ERROR_UNABLE_TO_MOVE_REPLACEMENT and its kin), and Wine's does not keep the attributes.
// This way the file never appears without them, and the twin a crash leaves carries them too.
TOsStatus CopyKeptAttributes(std::u16string_view from, std::u16string_view to) {
    const DWORD attributes = ::GetFileAttributesW(ToWide(from).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return LastError();
    const DWORD kept =
        attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if (kept == 0) return {};  // the new file has what a written file has
    return ::SetFileAttributesW(ToWide(to).c_str(), kept | FILE_ATTRIBUTE_ARCHIVE) ? TOsStatus{} : LastError();
}

std::u16string SystemErrorText(std::uint32_t code) {
    wchar_t* buffer = nullptr;
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text(buffer ? buffer : L"", length);
    ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) text.pop_back();
    if (text.empty()) return u"System error " + IntToStr(code) + u".";
    return FromWide(text);
}

std::u16string GetTempDir() {
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH, buffer);
    return length > 0 && length <= MAX_PATH ? FromWide(std::wstring_view(buffer, length)) : std::u16string();
}

std::u16string GetLocalAppDataFolder() {
    wchar_t buffer[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer))) return {};
    return FromWide(buffer);
}

std::u16string GetCommonAppDataFolder() {
    wchar_t buffer[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer))) return {};
    return FromWide(buffer);
}

TOsStatus ReadUntrustedFile(std::u16string_view path, std::size_t maxBytes, UntrustedFile& file) {
    const std::wstring wide = ToWide(path);
    // The name first: Wine opens a host symbolic link's target even when asked not to, but shows the
    // link in the name's attributes.
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return LastError();
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return TOsStatus{kCantResolveFilename};
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return TOsStatus{kAccessDenied};
    // Nobody may write or rename it while it is checked and read.
    const UniqueFileHandle opened(::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!opened) return LastError();
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(opened.get(), &info)) return LastError();
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return TOsStatus{kCantResolveFilename};
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return TOsStatus{kAccessDenied};
    if (info.nNumberOfLinks != 1) return TOsStatus{kTooManyLinks};
    // A junction or link on a folder of the way leads elsewhere: the file opened must be the one named.
    // https://learn.microsoft.com/windows/win32/api/fileapi/nf-fileapi-getfinalpathnamebyhandlew
    std::wstring final(MAX_PATH, L'\0');
    DWORD length = ::GetFinalPathNameByHandleW(opened.get(), final.data(), static_cast<DWORD>(final.size()),
                                               FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length >= final.size()) {
        final.resize(length + 1);
        length = ::GetFinalPathNameByHandleW(opened.get(), final.data(), static_cast<DWORD>(final.size()),
                                             FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    }
    if (length == 0 || length >= final.size()) return LastError();
    final.resize(length);
    if (final.starts_with(L"\\\\?\\")) final.erase(0, 4);
    if (!EqualsIgnoreCase(FromWide(final), path)) return TOsStatus{kCantResolveFilename};

    const std::uint64_t size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if (size > maxBytes) return TOsStatus{kFileTooLarge};
    file.bytes.assign(static_cast<std::size_t>(size), '\0');
    DWORD got = 0;
    if (size > 0 && !::ReadFile(opened.get(), file.bytes.data(), static_cast<DWORD>(size), &got, nullptr)) {
        return LastError();
    }
    file.bytes.resize(got);
    file.lastWrite =
        (static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime;
    return {};
}

}  // namespace dv::fs
