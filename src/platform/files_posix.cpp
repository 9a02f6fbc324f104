// Files and folders away from Windows (native builds: tests and tools).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/text.h"

namespace dv::fs {
namespace {

std::mutex& DriveMapLock() {
    static std::mutex lock;
    return lock;
}

std::map<char16_t, std::string>& DriveMap() {
    static std::map<char16_t, std::string> map;
    return map;
}

// The host path of a Windows path, or nothing for a drive letter that reaches no folder.
std::optional<std::string> HostPath(std::u16string_view path) {
    std::u16string rest(path);
    std::string prefix;
    if (rest.size() >= 2 && rest[1] == u':' && FoldCase(rest[0]) >= u'A' && FoldCase(rest[0]) <= u'Z') {
        std::lock_guard<std::mutex> guard(DriveMapLock());
        const auto found = DriveMap().find(FoldCase(rest[0]));
        if (found == DriveMap().end()) return std::nullopt;
        prefix = found->second;
        rest.erase(0, 2);
        if (rest.empty()) rest = u"/";
    }
    for (auto& c : rest) {
        if (c == u'\\') c = u'/';
    }
    return prefix + ToUtf8(rest);
}

std::uint32_t Win32Code(int error) {
    switch (error) {
        case ENOENT: return kFileNotFound;
        case ENOTDIR: return kPathNotFound;
        case EACCES:
        case EPERM:
        case EISDIR: return kAccessDenied;
        case EROFS: return 19;       // ERROR_WRITE_PROTECT
        case EBUSY: return 32;       // ERROR_SHARING_VIOLATION
        case EEXIST: return 183;     // ERROR_ALREADY_EXISTS
        case ENOSPC: return 112;     // ERROR_DISK_FULL
        case ENOTEMPTY: return 145;  // ERROR_DIR_NOT_EMPTY
        case ENAMETOOLONG:
            return 206;  // ERROR_FILENAME_EXCED_RANGE
        // A device that went away, or holds no medium.
        case ENXIO: return 55;      // ERROR_DEV_NOT_EXIST
        case ENODEV: return 433;    // ERROR_NO_SUCH_DEVICE
        case ENOMEDIUM: return 21;  // ERROR_NOT_READY
        case EIO: return 1117;      // ERROR_IO_DEVICE
        default: return 31;         // ERROR_GEN_FAILURE
    }
}

TOsStatus LastError() {
    return TOsStatus{Win32Code(errno)};
}

// Runs a call on the host path, or answers "path not found" for an unmapped drive.
template <typename Call>
TOsStatus OnHostPath(std::u16string_view path, Call call) {
    const auto host = HostPath(path);
    if (!host) return TOsStatus{kPathNotFound};
    return call(*host);
}

TOsStatus WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return LastError();
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return ::fsync(fd) == 0 ? TOsStatus{} : LastError();
}

// Windows keeps a read-only file from every writer, administrators included; root here would not be
// kept from it by its permissions alone.
bool IsReadOnlyFile(const std::string& host) {
    struct stat info {};
    return ::stat(host.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 0222) == 0;
}

// Where Wine and Samba keep the hidden and system attributes of a file: "0x" and the hexadecimal
// attribute bits.
constexpr const char* kDosAttributesName = "user.DOSATTRIB";

TOsStatus WriteWithFlags(std::u16string_view path, std::string_view bytes, int flags) {
    return OnHostPath(path, [&](const std::string& host) {
        if (IsReadOnlyFile(host)) return TOsStatus{kAccessDenied};
        const int fd = ::open(host.c_str(), flags | O_WRONLY | O_CLOEXEC, 0644);
        if (fd < 0) return LastError();
        TOsStatus status = WriteAll(fd, bytes);
        if (::close(fd) != 0 && status.ok()) status = LastError();
        return status;
    });
}

bool IsKind(std::u16string_view path, mode_t kind) {
    const auto host = HostPath(path);
    struct stat info {};
    return host && ::stat(host->c_str(), &info) == 0 && (info.st_mode & S_IFMT) == kind;
}

}  // namespace

void MapDrive(char16_t letter, std::u16string_view hostFolder) {
    std::lock_guard<std::mutex> guard(DriveMapLock());
    if (hostFolder.empty()) {
        DriveMap().erase(FoldCase(letter));
    } else {
        DriveMap()[FoldCase(letter)] = ToUtf8(hostFolder);
    }
}

TOsStatus ReadWholeFile(std::u16string_view path, std::string& bytes, std::size_t maxBytes) {
    return OnHostPath(path, [&](const std::string& host) {
        const int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return LastError();
        struct stat info {};
        if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
            ::close(fd);
            return TOsStatus{kAccessDenied};
        }
        if (static_cast<std::uint64_t>(info.st_size) > maxBytes) {
            ::close(fd);
            return TOsStatus{kFileTooLarge};
        }
        bytes.clear();
        char buffer[64 * 1024];
        TOsStatus status;
        for (;;) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                status = LastError();
                break;
            }
            if (got == 0) break;
            if (static_cast<std::size_t>(got) > maxBytes - bytes.size()) {  // it grew meanwhile
                status = TOsStatus{kFileTooLarge};
                break;
            }
            bytes.append(buffer, static_cast<std::size_t>(got));
        }
        ::close(fd);
        return status;
    });
}

TOsStatus WriteNewFile(std::u16string_view path, std::string_view bytes) {
    return WriteWithFlags(path, bytes, O_CREAT | O_TRUNC);
}

TOsStatus AppendToFile(std::u16string_view path, std::string_view bytes) {
    return WriteWithFlags(path, bytes, O_APPEND);
}

TOsStatus MoveFileReplacing(std::u16string_view from, std::u16string_view to) {
    const auto hostFrom = HostPath(from);
    const auto hostTo = HostPath(to);
    if (!hostFrom || !hostTo) return TOsStatus{kPathNotFound};
    if (IsReadOnlyFile(*hostTo)) return TOsStatus{kAccessDenied};
    return ::rename(hostFrom->c_str(), hostTo->c_str()) == 0 ? TOsStatus{} : LastError();
}

TOsStatus MoveFileTo(std::u16string_view from, std::u16string_view to) {
    const auto hostFrom = HostPath(from);
    const auto hostTo = HostPath(to);
    if (!hostFrom || !hostTo) return TOsStatus{kPathNotFound};
    struct stat info {};
    if (::lstat(hostTo->c_str(), &info) == 0) return TOsStatus{183};  // ERROR_ALREADY_EXISTS
    return ::rename(hostFrom->c_str(), hostTo->c_str()) == 0 ? TOsStatus{} : LastError();
}

TOsStatus RemoveFile(std::u16string_view path) {
    return OnHostPath(path, [](const std::string& host) {
        struct stat info {};
        if (::lstat(host.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return TOsStatus{kAccessDenied};
        return ::unlink(host.c_str()) == 0 ? TOsStatus{} : LastError();
    });
}

TOsStatus MakeDirectory(std::u16string_view path) {
    return OnHostPath(
        path, [](const std::string& host) { return ::mkdir(host.c_str(), 0755) == 0 ? TOsStatus{} : LastError(); });
}

TOsStatus RemoveEmptyDirectory(std::u16string_view path) {
    return OnHostPath(path,
                      [](const std::string& host) { return ::rmdir(host.c_str()) == 0 ? TOsStatus{} : LastError(); });
}

bool FileExists(std::u16string_view path) {
    return IsKind(path, S_IFREG);
}

bool DirectoryExists(std::u16string_view path) {
    return IsKind(path, S_IFDIR);
}

EntryKind EntryKindAt(std::u16string_view path) {
    const auto host = HostPath(path);
    struct stat info {};
    if (!host || ::lstat(host->c_str(), &info) != 0) return EntryKind::None;
    if (S_ISLNK(info.st_mode)) return EntryKind::Link;
    return S_ISDIR(info.st_mode) ? EntryKind::Directory : EntryKind::File;
}

namespace {

class UniqueFd {
public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// The names in the folder open as `folder`, all of them the caller's own files; nothing when the
// folder holds anything else, or cannot be read.
std::optional<std::vector<std::string>> OwnEntries(int folder, const std::vector<std::u16string>& ownFiles,
                                                   bool& foreign) {
    const int listed = ::dup(folder);
    if (listed < 0) return std::nullopt;
    DIR* listing = ::fdopendir(listed);
    if (!listing) {
        ::close(listed);
        return std::nullopt;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        const std::u16string wide = FromUtf8(name);
        const bool own = std::any_of(ownFiles.begin(), ownFiles.end(),
                                     [&](const std::u16string& file) { return EqualsIgnoreCase(file, wide); });
        struct stat info {};
        if (!own || ::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode)) {
            foreign = true;
            break;
        }
        names.push_back(name);
    }
    ::closedir(listing);
    if (foreign) return std::nullopt;
    return names;
}

}  // namespace

OwnFolderRemoval RemoveOwnFolder(std::u16string_view folder, const std::vector<std::u16string>& ownFiles) {
    const auto host = HostPath(folder);
    if (!host) return OwnFolderRemoval::Absent;
    // Opened without following a link: the names below are looked up in this folder and no other.
    const UniqueFd opened(::open(host->c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (opened.get() < 0) {
        if (errno == ENOENT) return OwnFolderRemoval::Absent;
        return errno == ELOOP || errno == ENOTDIR ? OwnFolderRemoval::Foreign : OwnFolderRemoval::NotRemoved;
    }
    bool foreign = false;
    const auto names = OwnEntries(opened.get(), ownFiles, foreign);
    if (foreign) return OwnFolderRemoval::Foreign;
    if (!names) return OwnFolderRemoval::NotRemoved;
    for (const std::string& name : *names) {
        if (::unlinkat(opened.get(), name.c_str(), 0) != 0) return OwnFolderRemoval::NotRemoved;
    }
    // rmdir never follows a link that may have taken the folder's place meanwhile.
    return ::rmdir(host->c_str()) == 0 ? OwnFolderRemoval::Removed : OwnFolderRemoval::NotRemoved;
}

std::optional<FileStamp> ReadFileStamp(std::u16string_view path) {
    const auto host = HostPath(path);
    struct stat info {};
    if (!host || ::stat(host->c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return std::nullopt;
    return FileStamp{static_cast<std::uint64_t>(info.st_size),
                     static_cast<std::uint64_t>(info.st_mtim.tv_sec) * 1'000'000'000u +
                         static_cast<std::uint64_t>(info.st_mtim.tv_nsec),
                     static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

std::optional<std::uint32_t> ReadFileAttributes(std::u16string_view path) {
    const auto host = HostPath(path);
    struct stat info {};
    if (!host || ::stat(host->c_str(), &info) != 0) return std::nullopt;
    if (S_ISDIR(info.st_mode)) return kDirectoryAttribute;
    std::uint32_t attributes = kArchiveAttribute;
    if ((info.st_mode & 0222) == 0) attributes |= kReadOnlyAttribute;
    char value[32] = {};
    const ssize_t length = ::getxattr(host->c_str(), kDosAttributesName, value, sizeof value - 1);
    if (length > 2 && value[0] == '0' && value[1] == 'x') {
        char* end = nullptr;
        const unsigned long bits = std::strtoul(value + 2, &end, 16);
        if (end == value + length) {
            attributes |= static_cast<std::uint32_t>(bits) & (kHiddenAttribute | kSystemAttribute);
        }
    }
    return attributes;
}

TOsStatus CopyKeptAttributes(std::u16string_view from, std::u16string_view to) {
    const auto hostFrom = HostPath(from);
    const auto hostTo = HostPath(to);
    if (!hostFrom || !hostTo) return TOsStatus{kPathNotFound};
    struct stat info {};
    if (::stat(hostFrom->c_str(), &info) != 0) return LastError();
    // Read and write permissions only: a file this process writes never becomes executable, let alone
    // set-user-ID, because the file it replaced was.
    if (::chmod(hostTo->c_str(), info.st_mode & 0666) != 0) return LastError();
    char value[1024];
    const ssize_t length = ::getxattr(hostFrom->c_str(), kDosAttributesName, value, sizeof value);
    // None, none possible here, or not one Wine would read.
    if (length < 0) return errno == ENODATA || errno == ENOTSUP || errno == ERANGE ? TOsStatus{} : LastError();
    return ::setxattr(hostTo->c_str(), kDosAttributesName, value, static_cast<std::size_t>(length), 0) == 0
               ? TOsStatus{}
               : LastError();
}

std::u16string SystemErrorText(std::uint32_t code) {
    // The texts Windows gives for the codes this side reports.
    switch (code) {
        case 0: return u"The operation completed successfully.";
        case kFileNotFound: return u"The system cannot find the file specified.";
        case kPathNotFound: return u"The system cannot find the path specified.";
        case kAccessDenied: return u"Access is denied.";
        case 19: return u"The media is write protected.";
        case 21: return u"The device is not ready.";
        case 31: return u"A device attached to the system is not functioning.";
        case 32: return u"The process cannot access the file because it is being used by another process.";
        case 55: return u"The specified network resource or device is no longer available.";
        case 112: return u"There is not enough space on the disk.";
        case 145: return u"The directory is not empty.";
        case 183: return u"Cannot create a file when that file already exists.";
        case 206: return u"The filename or extension is too long.";
        case kFileTooLarge: return u"The file size exceeds the limit allowed and cannot be saved.";
        case 433: return u"A device which does not exist was specified.";
        case 1117: return u"The request could not be performed because of an I/O device error.";
        case kTooManyLinks: return u"An attempt was made to create more links on a file than the file system supports.";
        case kCantResolveFilename: return u"The name of the file cannot be resolved by the system.";
        default: return u"System error " + IntToStr(code) + u".";
    }
}

std::u16string GetTempDir() {
    const char* dir = std::getenv("TMPDIR");
    std::string path = dir && *dir ? dir : "/tmp";
    if (path.back() != '/') path += '/';
    return FromUtf8(path);
}

std::u16string GetCommonAppDataFolder() {
    const char* dir = std::getenv("PROGRAMDATA");
    return dir && *dir ? FromUtf8(dir) : std::u16string();
}

TOsStatus ReadUntrustedFile(std::u16string_view path, std::size_t maxBytes, UntrustedFile& file) {
    return OnHostPath(path, [&](const std::string& host) {
        // Every folder on the way must be the folder named: a link there leads elsewhere.
        char* real = ::realpath(host.c_str(), nullptr);
        if (!real) return LastError();
        const bool direct = host == real;
        std::free(real);
        struct stat named {};
        if (::lstat(host.c_str(), &named) != 0) return LastError();
        if (!direct || S_ISLNK(named.st_mode)) return TOsStatus{kCantResolveFilename};
        const int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) return errno == ELOOP ? TOsStatus{kCantResolveFilename} : LastError();
        struct stat info {};
        TOsStatus status;
        if (::fstat(fd, &info) != 0) {
            status = LastError();
        } else if (!S_ISREG(info.st_mode) || info.st_ino != named.st_ino || info.st_dev != named.st_dev) {
            status = TOsStatus{kAccessDenied};
        } else if (info.st_nlink != 1) {
            status = TOsStatus{kTooManyLinks};
        } else if (static_cast<std::uint64_t>(info.st_size) > maxBytes) {
            status = TOsStatus{kFileTooLarge};
        }
        file.bytes.clear();
        char buffer[16 * 1024];
        while (status.ok()) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) status = LastError();
            if (got <= 0) break;
            if (static_cast<std::size_t>(got) > maxBytes - file.bytes.size()) status = TOsStatus{kFileTooLarge};
            file.bytes.append(buffer, static_cast<std::size_t>(got));
        }
        file.lastWrite = static_cast<std::uint64_t>(info.st_mtim.tv_sec) * 10'000'000u +
                         static_cast<std::uint64_t>(info.st_mtim.tv_nsec) / 100u;
        ::close(fd);
        return status;
    });
}

std::u16string GetLocalAppDataFolder() {
    if (const char* dir = std::getenv("LOCALAPPDATA"); dir && *dir) return FromUtf8(dir);
    if (const char* dir = std::getenv("XDG_DATA_HOME"); dir && *dir) return FromUtf8(dir);
    if (const char* home = std::getenv("HOME"); home && *home) return FromUtf8(std::string(home) + "/.local/share");
    return {};
}

}  // namespace dv::fs
