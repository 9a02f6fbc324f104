// The machine folder's security on Windows: who owns it and who its DACL lets in.
#include "settings/machine_folder.h"

#include "platform/windows_include.h"

#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/handles_win.h"
#include "platform/text.h"

namespace dv {
namespace {

// SYSTEM and the Administrators full control, passed on to every folder and file made inside, and
// nothing inherited from ProgramData (which lets users make folders and passes CREATOR OWNER on).
constexpr wchar_t kProtectedDacl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

struct LocalFreeDeleter {
    void operator()(void* memory) const { ::LocalFree(memory); }
};
using LocalMemory = std::unique_ptr<void, LocalFreeDeleter>;

TOsStatus LastError() {
    return TOsStatus{::GetLastError()};
}

LocalMemory Descriptor(const std::wstring& sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        return nullptr;
    }
    return LocalMemory(descriptor);
}

// The account this process runs as.
std::vector<BYTE> ProcessUser() {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
    const UniqueKernelHandle token(raw);
    DWORD size = 0;
    (void)::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return {};
    const PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    return std::vector<BYTE>(static_cast<BYTE*>(sid), static_cast<BYTE*>(sid) + ::GetLengthSid(sid));
}

bool UnderWine() {
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// Any right that changes the folder, what is in it, or who may: everything but reading.
constexpr ACCESS_MASK kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD |
                                     FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                     GENERIC_ALL | MAXIMUM_ALLOWED;

}  // namespace

TFolderFacts ReadFolderFacts(std::u16string_view folder) {
    TFolderFacts facts;
    const std::wstring path = ToWide(folder);
    // The name first: Wine opens a host symbolic link's target even when asked not to, but shows the
    // link in the name's attributes.
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = ::GetLastError();
        facts.exists = code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND;
        return facts;
    }
    facts.exists = true;
    facts.reparsePoint = attributes & FILE_ATTRIBUTE_REPARSE_POINT;
    facts.isFolder = attributes & FILE_ATTRIBUTE_DIRECTORY;
    if (facts.reparsePoint || !facts.isFolder) return facts;

    const UniqueFileHandle opened(::CreateFileW(
        path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!opened || !::GetFileInformationByHandle(opened.get(), &info)) {
        facts.isFolder = false;  // what cannot be looked at is not used
        return facts;
    }
    facts.reparsePoint = info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
    facts.isFolder = info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;

    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (::GetSecurityInfo(opened.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                          nullptr, &dacl, nullptr, &raw) != ERROR_SUCCESS) {
        facts.othersMayWrite = facts.othersMayRead = true;  // unreadable security is nobody's guarantee
        return facts;
    }
    const LocalMemory descriptor(raw);
    std::vector<BYTE> user = ProcessUser();
    const PSID processUser = user.empty() ? nullptr : static_cast<PSID>(user.data());
    facts.processUserTrusted = processUser && (::IsWellKnownSid(processUser, WinLocalSystemSid) || UnderWine());

    if (!owner) {
        facts.owner = TOwnerKind::Other;
    } else if (::IsWellKnownSid(owner, WinLocalSystemSid)) {
        facts.owner = TOwnerKind::System;
    } else if (::IsWellKnownSid(owner, WinBuiltinAdministratorsSid)) {
        facts.owner = TOwnerKind::Administrators;
    } else if (processUser && ::EqualSid(owner, processUser)) {
        facts.owner = TOwnerKind::ProcessUser;
    }

    if (!dacl) {
        facts.othersMayWrite = facts.othersMayRead = true;  // no DACL: everybody may do everything
        return facts;
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(dacl, i, &ace)) {
            facts.othersMayWrite = facts.othersMayRead = true;
            break;
        }
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            // An object or conditional entry: whom it lets in is not read here, so it counts as anybody.
            facts.othersMayWrite = facts.othersMayRead = true;
            continue;
        }
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        const PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        const bool trusted = ::IsWellKnownSid(sid, WinLocalSystemSid) ||
                             ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
                             (facts.processUserTrusted && ::EqualSid(sid, processUser));
        if (trusted || allowed->Mask == 0) continue;
        facts.othersMayRead = true;
        if (allowed->Mask & kWriteRights) facts.othersMayWrite = true;
    }
    return facts;
}

TOsStatus MakeProtectedFolder(std::u16string_view folder) {
    const std::wstring path = ToWide(folder);
    for (const std::wstring owner : {L"O:BA", L""}) {
        const LocalMemory descriptor = Descriptor(owner + kProtectedDacl);
        if (!descriptor) return LastError();
        SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
        if (::CreateDirectoryW(path.c_str(), &attributes)) return {};
        // A token that may not make the Administrators an owner makes the folder its own (SYSTEM's).
        if (::GetLastError() != ERROR_INVALID_OWNER) return LastError();
    }
    return LastError();
}

TOsStatus ProtectFolder(std::u16string_view folder) {
    const LocalMemory descriptor = Descriptor(kProtectedDacl);
    if (!descriptor) return LastError();
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    if (!::GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted)) return LastError();
    // Through a handle of the folder itself: a link put at its name meanwhile is not followed.
    const UniqueFileHandle opened(::CreateFileW(
        ToWide(folder).c_str(), READ_CONTROL | WRITE_DAC, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!opened) return LastError();
    const DWORD code =
        ::SetSecurityInfo(opened.get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                          nullptr, nullptr, dacl, nullptr);
    return TOsStatus{code};
}

TOsStatus MoveFolderAside(std::u16string_view folder, std::u16string_view to) {
    // MoveFileExW renames a junction or link itself; without MOVEFILE_COPY_ALLOWED nothing is copied.
    return ::MoveFileExW(ToWide(folder).c_str(), ToWide(to).c_str(), 0) ? TOsStatus{} : LastError();
}

}  // namespace dv
