// Network shares of drive roots and the rights of a share account on them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "accounts/share_api.h"

namespace dv {

// Where the share manager writes the errors it catches: LogError, and LogApp for the folder step.
struct TShareManagerLog {
    std::function<void(std::u16string_view text)> Error;
    std::function<void(std::u16string_view title, std::u16string_view text)> App;
};
// The application log.
TShareManagerLog ApplicationLog();

inline constexpr std::u16string_view kShareExistsErrorPrefix = u"Class:TShareManager Method:ShareExists Type:EOSError";
inline constexpr std::u16string_view kShareCreateErrorPrefix = u"Class:TShareManager Method:ShareCreate  Type:EOSError";
inline constexpr std::u16string_view kShareDeleteErrorPrefix = u"Class:TShareManager Method:ShareDelete  Type:EOSError";
inline constexpr std::u16string_view kSharePathErrorPrefix = u"Class:TShareManager Method:SharePath  Type:EOSError";
inline constexpr std::u16string_view kShareSetEncryptionErrorPrefix =
    u"Class:TShareManager Method:ShareSetEncryption  Type:EOSError";
inline constexpr std::u16string_view kShareAddAccesRightsErrorPrefix =
    u"Class:TShareManager Method:ShareAddAccesRights  Type:EOSError";
inline constexpr std::u16string_view kFileAddAccesRightsErrorPrefix =
    u"Class:TShareManager Method:FileAddAccesRights  Type:EOSError";

inline constexpr std::uint32_t kShareMaxUses = 4;

// Keeps no state between calls: every answer comes from the system side it is given.
class TShareManager {
public:
    explicit TShareManager(IShareApi& api, TShareManagerLog log = ApplicationLog());

    bool IsComputerInDomain();
    bool ShareExists(const std::u16string& ShareName);
    // Replaces a share of the same name that points at the same folder (one left by an earlier
    // attach); a share of that name elsewhere is someone else's and is left as it is, and then no
    // share is created. Failures are logged, not reported: ask ShareExists and SharePath.
    // `Temporary` has no effect; every share is permanent.
    void ShareCreate(const std::u16string& ShareName, const std::u16string& ShareDescription,
                     const std::u16string& LocalPath, bool Temporary);
    void ShareDelete(const std::u16string& ShareName);
    // The folder a share points at; nothing when there is no share of that name, and an empty text
    // (which matches no folder) when its record cannot be read, which is logged.
    std::optional<std::u16string> SharePath(const std::u16string& ShareName);
    // Deletes the share only while it points at `LocalPath` (letter case aside): once it points
    // elsewhere it is no longer the one Dockvane made for that folder.
    void ShareDeleteAt(const std::u16string& ShareName, const std::u16string& LocalPath);
    // Asks the server to encrypt the share's traffic (SMB 3), keeping the share's other flags. A server
    // that refuses (one before SMB 3, a policy) leaves the share as it was, unencrypted: the refusal is
    // logged and gives false.
    bool ShareSetEncryption(const std::u16string& ShareName);
    // Grants the account GENERIC_ALL on the folder and on the share. False for an empty share name, for
    // an account that does not resolve, and for one that may never have a drive (a broad group, a guest,
    // no person's account; a group other than a domain group); true once the three steps ran, even
    // when one of them failed and logged its error.
    bool SetAccesRights(const std::u16string& LocalPath, const std::u16string& ShareName,
                        const std::u16string& ShareUserName);
    // Why the account must not be given a drive, for the user to read; nothing when it may, and nothing
    // when the system cannot resolve the name (granting the rights then fails on its own).
    std::optional<std::u16string> ShareAccountRefusal(const std::u16string& UserName, bool DomainMode);
    // Both raise EOSError when the account's name cannot be resolved at all; other failures are logged
    // and give false. True once the new DACL was written.
    bool ShareAddAccesRights(const std::u16string& ShareName, const std::u16string& UserName, std::uint32_t AccessMask);
    bool FileAddAccesRights(const std::u16string& FileName, const std::u16string& UserName, std::uint32_t AccessMask);

private:
    // The account's SID; raises the size query's error (uncaught by the callers) or, for the second
    // call, an error that the callers log.
    TAccountLookup Lookup(const std::u16string& UserName);

    IShareApi& api_;
    TShareManagerLog log_;
};

}  // namespace dv
