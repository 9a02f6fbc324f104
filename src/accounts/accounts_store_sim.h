// The simulated shares and accounts kept in files of one folder, so that other processes (the
// simulation's control tool, tests) see what Dockvane made while it runs. Every call loads the state,
// works on it in memory as TSimAccounts does, and writes back only the files that changed, each
// replaced as a whole (never half-written).
//
// The files: UTF-8, one record per line, fields separated by tabs; a tab, a line break or a backslash
// inside a field is written as \t, \n, \r or \\, and an absent value (a null pointer) as \N. Lines
// that begin with '#' are comments, except the ones that carry the next relative identifier and the
// minimum password length of the local password policy (no line: no policy), and the share flags the
// server does not know (no line: it knows them all).
//   accounts.tsv  NAME PASSWORD COMMENT SID USE PRIV FLAGS HOMEDIR SCRIPTPATH
//   shares.tsv    NAME PATH REMARK TYPE PERMISSIONS MAXUSES CURRENTUSES PASSWD RESERVED DACL [FLAGS]
// A share's level-1005 FLAGS (decimal) are there only when it has some, so that records written
// before shares had flags read as they are.
//   folders.tsv   PATH DACL
// A DACL reads "none" (no DACL), "null" (a null DACL) or "acl REVISION CAPACITY" followed by one
// "TYPE FLAGS MASK BODY" group per entry (BODY in hex), all separated by blanks.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "accounts/accounts_sim.h"

namespace dv {

inline constexpr std::u16string_view kSimAccountsFile = u"accounts.tsv";
inline constexpr std::u16string_view kSimSharesFile = u"shares.tsv";
inline constexpr std::u16string_view kSimFoldersFile = u"folders.tsv";

// The three files' contents for a state, and back. Decoding replaces the state's accounts, shares or
// folders; it raises EConvertError (naming the file and line) for text it cannot read, and leaves
// the state as it was then.
std::string EncodeSimAccounts(const TSimAccounts& state);
std::string EncodeSimShares(const TSimAccounts& state);
std::string EncodeSimFolders(const TSimAccounts& state);
void DecodeSimAccounts(std::string_view text, TSimAccounts& state);
void DecodeSimShares(std::string_view text, TSimAccounts& state);
void DecodeSimFolders(std::string_view text, TSimAccounts& state);

// One line per share, in name order: NAME, PATH, REMARK and the entries with a non-zero mask in list
// order as ACCOUNT:MASK (decimal), separated by commas; an account the state does not know shows as
// its SID. A share with level-1005 flags has them as a fifth field, in hexadecimal ("0x8000": the
// traffic is encrypted); the others keep the four fields they always had.
std::vector<std::u16string> SimShareLines(const TSimAccounts& state);
// One line per local user account, in the order they were made: NAME, PASSWORD, COMMENT.
std::vector<std::u16string> SimAccountLines(const TSimAccounts& state);
// Drops the recorded rights of every folder on the drive: a drive plugged in under that letter is
// another medium.
void ForgetFolderRights(TSimAccounts& state, char16_t letter);

// A field of a state file's record as written: a tab, line break or backslash inside it becomes
// \t, \n, \r or \\, so that a record stays one line of tab-separated fields.
std::u16string EscapedSimField(std::u16string_view text);
// And back; nothing for a field that ends in a lone backslash or holds an unknown escape.
std::optional<std::u16string> UnescapedSimField(std::u16string_view field);

// Replaces a file of the simulation's state. Dockvane and dvsim read those files without the lock (a
// drive's arrival is announced while its writer holds it), and Windows refuses to replace a file that
// another process has open for reading: such a refusal is tried again for a moment before it raises
// EFCreateError as fs::ReplaceFileContents does.
void ReplaceSimStateFile(std::u16string_view path, std::string_view bytes);

class TSimAccountsStore : public IShareApi, public IUserApi {
public:
    // Runs one load-work-save cycle so that no other process writes between the load and the save;
    // raises when it cannot.
    using Guard = std::function<void(const std::function<void()>& transaction)>;

    // `folder` ends without a separator. Without a guard the cycles simply run.
    explicit TSimAccountsStore(std::u16string folder, Guard guard = {});

    // The state as the files hold it now (built-in accounts only when there are no files yet).
    // Raises EFOpenError or EConvertError.
    TSimAccounts Load() const;
    // Loads, applies `change` and saves what changed, under the guard. Raises as Load, and
    // EFCreateError when a file cannot be replaced.
    void Change(const std::function<void(TSimAccounts& state)>& change);

    // Told the message of a cycle that failed; the call then answers with a failure status.
    std::function<void(std::u16string_view message)> OnError;
    // Told when a share's folder changed its shared state (the shell may want to know).
    std::function<void(const std::u16string& path)> OnShareChanged;

    // --- IShareApi ---
    TJoinInformation GetJoinInformation() override;
    TOsStatus ShareGetInfo0(const std::u16string& name) override;
    TShareGetInfo ShareGetInfo502(const std::u16string& name) override;
    TOsStatus ShareAdd502(const TShareInfo502& info) override;
    TOsStatus ShareSetInfo502(const TShareInfo502& info) override;
    TShareFlags ShareGetInfo1005(const std::u16string& name) override;
    TOsStatus ShareSetInfo1005(const std::u16string& name, std::uint32_t flags) override;
    TOsStatus ShareDel(const std::u16string& name) override;
    void NotifyShareChanged(const std::u16string& path) override;
    TAccountLookup LookupAccount(const std::u16string& name) override;
    TFileSecurity GetFileDacl(const std::u16string& path) override;
    TOsStatus SetFileDacl(const std::u16string& path, const TAcl& dacl) override;

    // --- IUserApi ---
    TOsStatus UserGetInfo0(const std::u16string& name) override;
    TUserComment UserGetInfo1(const std::u16string& name) override;
    TOsStatus UserAdd1(const TUserInfo1& info) override;
    TOsStatus UserChangePassword(const std::u16string& name, const std::u16string& oldPassword,
                                 const std::u16string& newPassword) override;
    TOsStatus UserSetPassword1003(const std::u16string& name, const std::u16string& password) override;
    TOsStatus UserDel(const std::u16string& name) override;
    TUserEnumBatch UserEnum1(std::uint32_t& resumeHandle) override;
    TOsStatus HideFromSignIn(const std::u16string& name) override;
    TOsStatus ShowOnSignIn(const std::u16string& name) override;

private:
    std::u16string FileOf(std::u16string_view name) const;
    // Runs `work` on the loaded state and saves; on failure reports and returns the failure's code.
    std::uint32_t Run(const std::function<void(TSimAccounts& state)>& work);
    // A folder's recorded rights, with a real folder that has none recorded yet taking the rights
    // a freshly formatted drive root has.
    static void KnowFolder(TSimAccounts& state, const std::u16string& path);

    std::u16string folder_;
    Guard guard_;
};

}  // namespace dv
