// The Windows side of shares and accounts. Only Windows-side files include this header.
#pragma once

#include <memory>
#include <vector>

#include "accounts/share_api.h"
#include "accounts/user_api.h"
#include "platform/windows_include.h"

namespace dv {

// Network management and security through NetApi32 and advapi32, for the local computer.
std::unique_ptr<IShareApi> CreateWinShareApi();
std::unique_ptr<IUserApi> CreateWinUserApi();

// An absolute security descriptor that holds only a DACL, together with the list it points to.
class TNativeDescriptor {
public:
    TNativeDescriptor() = default;
    TNativeDescriptor(const TNativeDescriptor&) = delete;
    TNativeDescriptor& operator=(const TNativeDescriptor&) = delete;

    PSECURITY_DESCRIPTOR get() { return &descriptor_; }

private:
    friend TOsStatus BuildNativeDescriptor(const TSecurityDescriptor& value, TNativeDescriptor& native);
    SECURITY_DESCRIPTOR descriptor_{};
    std::vector<DWORD> acl_;  // DWORD-aligned, as an ACL must be
};

// The value as a descriptor (InitializeSecurityDescriptor, InitializeAcl, AddAccessAllowedAce for
// plain allow entries and AddAce for every other, SetSecurityDescriptorDacl); a failure is the
// call's last error.
TOsStatus BuildNativeDescriptor(const TSecurityDescriptor& value, TNativeDescriptor& native);
// Success for a valid descriptor; ERROR_INVALID_SECURITY_DESCR for a missing or invalid one.
// IsValidSecurityDescriptor sets no last error of its own, so the thread's last error says nothing.
TOsStatus CheckSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor);
// The DACL of a descriptor as a value (GetSecurityDescriptorDacl, GetAclInformation, GetAce).
TOsStatus ReadNativeDescriptor(PSECURITY_DESCRIPTOR descriptor, TSecurityDescriptor& value);

}  // namespace dv
