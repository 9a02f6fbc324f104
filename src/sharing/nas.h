// The registry of shared drives: one entry per drive letter, each running the share workflow for its
// drive.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/drive_letter.h"
#include "settings/share_settings.h"
#include "sharing/ping_to_web.h"

namespace dv {

class TApplicationSettings;
class TNasManager;
class TShareManager;
class TUserManager;

inline constexpr std::u16string_view kIoTestFolderName = u"Dockvane_IoTestFolder";
inline constexpr std::u16string_view kIoTestFileName = u"Dockvane_IoTesFileName.tst";

// What the registry needs of the main controller.
class INasHost {
public:
    virtual ~INasHost() = default;
    virtual TShareManager& ShareManager() = 0;
    virtual TUserManager& UserManager() = 0;
    virtual TApplicationSettings& ApplicationSettings() = 0;
    // Called after every change of the registry.
    virtual void AttachedNasDriveLettersChange(TNasManager& Sender) = 0;
    // A modal error box with one OK button.
    virtual void ShowErrorMessage(std::u16string_view text) = 0;
    // A tray balloon with the warning icon.
    virtual void ShowWarningBalloon(std::u16string_view text) = 0;
    virtual void ProcessPendingMessages() = 0;
    // Why the master account could not be made, while it is missing; nothing when it is there. A drive
    // is then shared only to its own account, and only when that exists already.
    virtual std::optional<std::u16string> MasterAccountFailure() { return std::nullopt; }
    // Where the drives' ping workers get their HTTP client.
    virtual TPingToWebTh::ClientFactory PingClientFactory() {
        return [] { return CreateHttpClient(); };
    }
};

class TNas {
public:
    // `Drive`: the drive letter; a-z is stored upper-cased.
    TNas(INasHost& MainFm, std::u16string_view Drive);

    // True when the drive root can be written; the test folder and file are gone afterwards on
    // every path, and nothing is deleted through a link that took their place. A file that cannot be
    // written raises EFCreateError.
    bool CheckIO();
    // The write test of an attach: CheckIO, after removing a test folder left behind by an attach
    // that was cut short. A folder of that name that is not the test's own (a link, or one holding
    // other files) is left alone and fails the test, with a line in the application log and, when the
    // drive is to be shared, a warning balloon.
    bool PassesWriteTest(bool OpenShare);
    // Loads the drive's configuration (and re-saves it when it names a share), shares the root and
    // grants the account its rights; true when the drive is now shared. A share name that is in use
    // for another folder, or an account that may not have a drive, stops it before anything is made;
    // whatever fails after the share was made takes the share away again.
    bool AttachAndShare(bool OpenShare);
    // Deletes the drive's share while it still points at the drive's root.
    void removeShare();
    // Starts the drive's pings, at most once.
    void DoPingToSrv();

    const std::u16string& DriveName() const { return driveName_; }
    bool IsShared() const { return isShared_; }
    // Absent before the first attach.
    const TShareSettings* AttachedNasSettings() const { return attachedNasSettings_.get(); }
    // The same record, shared: it stays valid for a holder whatever becomes of the entry.
    std::shared_ptr<const TShareSettings> SharedSettings() const { return attachedNasSettings_; }
    // The share name of the attached configuration ("" when none).
    std::u16string ShareName() const;

private:
    std::u16string Root() const { return TDriveLetter(driveName_).Root(); }
    std::u16string IoTestFolder() const;
    // Refuses the attach: the error box, and one line in the application log.
    void Refuse(const std::u16string& message, const std::u16string& logText);
    // The reason the account may not have the drive, told to the user; false when there is none.
    bool RefuseAccount(const std::u16string& account, bool domainMode, std::u16string_view hint);

    INasHost& host_;
    std::u16string driveName_;
    bool isShared_ = false;
    TApplicationSettings& settings_;
    TPingToWebTh pingWorker_;
    // Shared with the ping worker, which may outlive the entry.
    std::shared_ptr<TShareSettings> attachedNasSettings_;
};

class TNasManager {
public:
    explicit TNasManager(INasHost& mainFm) : host_(mainFm) {}

    bool addNas(std::u16string_view Drive, bool OpenShare);
    bool removeNas(std::u16string_view Drive);
    TNas* getNasByname(std::u16string_view Drive) const;
    TNas* GetNasByIndex(int ind) const;
    std::vector<std::u16string> GetNasDriveNamesList() const;
    std::vector<std::u16string> GetNasShareNamesList() const;
    int NasCount() const { return nasCount_; }

private:
    bool ShareNameInUse(std::u16string_view shareName) const;

    std::vector<std::unique_ptr<TNas>> nasList_;
    INasHost& host_;
    int nasCount_ = 0;
    // Removals asked for, per drive letter: an attach that sees the count change while it runs knows
    // that its drive left meanwhile.
    std::map<std::u16string, std::uint64_t> removalRequests_;
};

// A drive letter as the registry keeps it: a-z upper-cased, anything else unchanged.
std::u16string NormalizedDriveLetter(std::u16string_view Drive);

}  // namespace dv
