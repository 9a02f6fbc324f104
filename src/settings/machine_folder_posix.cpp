// The machine folder away from Windows (tests and tools): the owner and the permission bits stand in
// for the owner and the DACL.
#include "settings/machine_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/text.h"

namespace dv {
namespace {

std::string Host(std::u16string_view path) {
    std::string host = ToUtf8(path);
    for (char& c : host) {
        if (c == '\\') c = '/';
    }
    return host;
}

TOsStatus Status(bool ok) {
    return ok ? TOsStatus{} : TOsStatus{errno == ENOENT ? 2u : 5u};
}

}  // namespace

TFolderFacts ReadFolderFacts(std::u16string_view folder) {
    TFolderFacts facts;
    struct stat info {};
    if (::lstat(Host(folder).c_str(), &info) != 0) {
        facts.exists = errno != ENOENT && errno != ENOTDIR;
        return facts;
    }
    facts.exists = true;
    facts.reparsePoint = S_ISLNK(info.st_mode);
    facts.isFolder = S_ISDIR(info.st_mode);
    if (facts.reparsePoint || !facts.isFolder) return facts;  // a link's own bits say nothing
    // Tools and tests run as one user here, as every process does under Wine.
    facts.processUserTrusted = true;
    facts.owner = info.st_uid == 0             ? TOwnerKind::System
                  : info.st_uid == ::geteuid() ? TOwnerKind::ProcessUser
                                               : TOwnerKind::Other;
    facts.othersMayWrite = info.st_mode & (S_IWGRP | S_IWOTH);
    facts.othersMayRead = info.st_mode & (S_IRWXG | S_IRWXO);
    return facts;
}

TOsStatus MakeProtectedFolder(std::u16string_view folder) {
    return Status(::mkdir(Host(folder).c_str(), 0700) == 0);
}

TOsStatus ProtectFolder(std::u16string_view folder) {
    return Status(::chmod(Host(folder).c_str(), 0700) == 0);
}

TOsStatus MoveFolderAside(std::u16string_view folder, std::u16string_view to) {
    return Status(std::rename(Host(folder).c_str(), Host(to).c_str()) == 0);
}

}  // namespace dv
