#include "sharing/nas.h"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <utility>

#include "accounts/share_manager.h"
#include "accounts/user_manager.h"
#include "logging/logs.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/text.h"
#include "settings/app_settings.h"

namespace dv {
namespace {

// Removes what the write test may have left behind, whatever happened on the way: the test's own
// folder and file alone, and nothing reached through a link that took their place.
class IoTestCleanup {
public:
    explicit IoTestCleanup(std::u16string folder) : folder_(std::move(folder)) {}
    ~IoTestCleanup() { (void)RemoveIoTestFolder(folder_); }
    IoTestCleanup(const IoTestCleanup&) = delete;
    IoTestCleanup& operator=(const IoTestCleanup&) = delete;

    static fs::OwnFolderRemoval RemoveIoTestFolder(const std::u16string& folder) {
        return fs::RemoveOwnFolder(folder, {std::u16string(kIoTestFileName)});
    }

private:
    std::u16string folder_;
};

}  // namespace

std::u16string NormalizedDriveLetter(std::u16string_view Drive) {
    std::u16string letter(Drive);
    for (auto& c : letter) {
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    }
    return letter;
}

// --- TNas ---

TNas::TNas(INasHost& MainFm, std::u16string_view Drive)
    : host_(MainFm),
      driveName_(NormalizedDriveLetter(Drive)),
      settings_(MainFm.ApplicationSettings()),
      pingWorker_(MainFm.PingClientFactory()) {}

std::u16string TNas::ShareName() const {
    return attachedNasSettings_ ? attachedNasSettings_->FShareName : std::u16string();
}

std::u16string TNas::IoTestFolder() const {
    return Root() + std::u16string(kIoTestFolderName);
}

bool TNas::CheckIO() {
    const std::u16string folder = IoTestFolder();
    const std::u16string file = folder + u"\\" + std::u16string(kIoTestFileName);
    const IoTestCleanup cleanup(folder);

    if (!fs::MakeDirectory(folder).ok()) return false;
    const std::string line = fs::EncodeTextLines({u"\\" + std::u16string(kIoTestFileName)});
    if (const TOsStatus written = fs::WriteNewFile(file, line); !written.ok()) {
        throw EFCreateError(fs::CannotCreateMessage(file, written.Code));
    }
    host_.ProcessPendingMessages();
    // The file and the folder together: what ran meanwhile may have put a link in the folder's place,
    // and nothing is deleted through it.
    (void)IoTestCleanup::RemoveIoTestFolder(folder);
    host_.ProcessPendingMessages();
    return true;
}

bool TNas::PassesWriteTest(bool OpenShare) {
    // A drive pulled out or a process ended in the middle of the test leaves its folder behind, and
    // a drive that is perfectly writable would then stay unshared until it is plugged in again. Only
    // the test's own folder goes: a link of that name, or a folder that holds anything but the test
    // file, is somebody else's, stays as it is, and keeps the test from running.
    const std::u16string folder = IoTestFolder();
    if (IoTestCleanup::RemoveIoTestFolder(folder) != fs::OwnFolderRemoval::Foreign) return CheckIO();
    const fs::EntryKind kind = fs::EntryKindAt(folder);
    if (kind == fs::EntryKind::None) return CheckIO();  // gone meanwhile
    const std::u16string what = kind == fs::EntryKind::Link   ? u"is a link"
                                : kind == fs::EntryKind::File ? u"is a file"
                                                              : u"holds files that Dockvane did not put there";
    LogError(u"Drive " + driveName_ + u": not shared: " + folder + u" " + what + u"; it is left as it is");
    if (OpenShare) {
        host_.ShowWarningBalloon(u"Drive " + driveName_ + u": is not shared: " + folder + u" " + what +
                                 u". Remove it, or move it elsewhere, to share the drive.");
    }
    return false;
}

void TNas::Refuse(const std::u16string& message, const std::u16string& logText) {
    LogError(u"Drive " + driveName_ + u": not shared: " + logText);
    host_.ShowErrorMessage(message);
}

bool TNas::RefuseAccount(const std::u16string& account, bool domainMode, std::u16string_view hint) {
    const std::optional<std::u16string> refusal = host_.ShareManager().ShareAccountRefusal(account, domainMode);
    if (!refusal) return false;
    Refuse(*refusal + u"." + std::u16string(hint), *refusal);
    return true;
}

bool TNas::AttachAndShare(bool OpenShare) {
    isShared_ = false;
    const std::u16string root = Root();
    if (!fs::DirectoryExists(root)) return false;
    LogApp(u"Attached ", root);

    const std::u16string configFile = root + std::u16string(kDriveConfigFileName);
    attachedNasSettings_ = std::make_shared<TShareSettings>(configFile);
    if (!fs::ReplaceableFileExists(configFile)) return false;
    // A file that cannot be rewritten (read-only, locked) is the sign of a drive that cannot be
    // written: that drive is not shared, and the user learns why without the attach being broken off.
    auto notWritable = [&](const Exception& error) {
        LogError(u"Drive " + driveName_ + u": not shared: " + error.Message());
        if (!OpenShare) return false;
        std::u16string_view reason = error.Message();
        if (reason.ends_with(u'.')) reason.remove_suffix(1);
        host_.ShowWarningBalloon(u"The configuration of drive " + driveName_ + u": cannot be written: " +
                                 VisibleText(reason) + u".");
        return false;
    };
    try {
        // An attach brings the file into its written form, but only a file that names a share: one
        // that names none may be anything at all (another program's file, garbage) and stays as it is.
        attachedNasSettings_->Load();
        if (!attachedNasSettings_->FShareName.empty()) attachedNasSettings_->Save();
    } catch (const EFCreateError& error) {
        return notWritable(error);
    } catch (const EIniFileException& error) {
        return notWritable(error);
    }
    // A drive pulled out while it is being attached ends its arrival quietly: what failed because the
    // drive went is no news to the user, who pulled it.
    auto leftMeanwhile = [&] {
        if (fs::DirectoryExists(root)) return false;
        LogApp(u"Detached ", root);
        return true;
    };
    const TShareSettings& settings = *attachedNasSettings_;
    if (settings.FShareName.empty()) {
        if (OpenShare) host_.ShowWarningBalloon(u"The configuration of drive " + driveName_ + u": names no share.");
        return false;
    }
    if (!OpenShare) return false;

    // The file is anybody's: before anything is made, the share name must be free or this drive's
    // own (left by an earlier attach), and the account one that may have a drive.
    TShareManager& shares = host_.ShareManager();
    const std::u16string shareName = settings.FShareName;
    auto refuseShareName = [&](const std::u16string& path) {
        if (leftMeanwhile()) return;
        const std::u16string inUse = u"The share name \"" + VisibleText(shareName) + u"\" is already in use" +
                                     (path.empty() ? u"" : u" for " + VisibleText(path));
        Refuse(inUse + u".\n\rChoose another share name for this drive in its drive settings.", inUse);
    };
    if (const std::optional<std::u16string> path = shares.SharePath(shareName);
        path && !EqualsIgnoreCase(*path, root)) {
        refuseShareName(*path);
        return false;
    }
    const bool domainMode = settings_.FIsInDomain != 0;
    const std::u16string ownAccount = domainMode ? std::u16string() : settings.FShareUserName;
    const std::u16string defaultAccount = settings_.FDefaultShareUserName;
    if (!ownAccount.empty() && !EqualsIgnoreCase(ownAccount, kMasterAccountName) &&
        RefuseAccount(ownAccount, false, u"\n\rChoose another account for this drive in its drive settings.")) {
        return false;
    }
    if (RefuseAccount(
            defaultAccount, domainMode,
            domainMode ? u"\n\rEnter another account with \"Set Domain User Name\" in the tray menu." : u"")) {
        return false;
    }

    // Without the master account a drive can go to nobody but its own account, and only to one that
    // exists already: one made now would take the default account's rights this time.
    if (const std::optional<std::u16string> failure = host_.MasterAccountFailure(); failure && !domainMode) {
        const bool ownExists = !ownAccount.empty() && !EqualsIgnoreCase(ownAccount, kMasterAccountName) &&
                               host_.UserManager().UserExists(ownAccount);
        if (!ownExists) {
            if (leftMeanwhile()) return false;
            LogError(u"Drive " + driveName_ + u": not shared: the account " + defaultAccount + u" is missing");
            host_.ShowWarningBalloon(u"Drive " + driveName_ + u": is not shared: the account " + defaultAccount +
                                     u" could not be made: " + *failure);
            return false;
        }
    }

    shares.ShareCreate(shareName, settings.FShareDescription, root, false);
    if (!shares.ShareExists(shareName)) {
        if (leftMeanwhile()) return false;
        host_.ShowErrorMessage(u"Access is not installed.\n\rPerhaps the current user does not have enough rights.");
        return false;
    }
    // A share of that name made elsewhere meanwhile is not this drive's: nothing is granted on it.
    if (const std::optional<std::u16string> path = shares.SharePath(shareName);
        !path || !EqualsIgnoreCase(*path, root)) {
        refuseShareName(path.value_or(u""));
        return false;
    }

    // Traffic that the drive's file wants encrypted is never open in clear: the flag goes on before any
    // right is granted, and a server that will not encrypt does not get the drive at all.
    if (settings.FEncrypt && !shares.ShareSetEncryption(shareName)) {
        shares.ShareDeleteAt(shareName, root);
        if (leftMeanwhile()) return false;
        LogError(u"Drive " + driveName_ + u": not shared: Windows refused to encrypt its network traffic");
        host_.ShowWarningBalloon(u"Drive " + driveName_ +
                                 u": was not shared: its configuration asks for encrypted network traffic, and "
                                 u"Windows refused to encrypt it. Clear \"Encrypt network traffic\" in its drive "
                                 u"settings to share it unencrypted.");
        return false;
    }

    // From here on every way out that does not share the drive takes the share away again.
    std::u16string account;
    bool granted = false;
    try {
        // The drive's own account when it exists already; otherwise (also right after creating it)
        // the default account.
        const bool useOwnAccount =
            !domainMode && host_.UserManager().ChekToManualUserCreate(settings.FShareUserName, settings_.FPasswordSalt);
        account = useOwnAccount ? settings.FShareUserName : defaultAccount;
        granted = shares.SetAccesRights(root, shareName, account);
    } catch (...) {
        shares.ShareDeleteAt(shareName, root);
        throw;
    }
    if (granted) {
        isShared_ = true;
        return true;
    }
    shares.ShareDeleteAt(shareName, root);
    if (leftMeanwhile()) return false;
    host_.ShowErrorMessage(u"Permissions for the user: " + VisibleText(account) +
                           u" is not installed!\n\rPerhaps this user is not registered in system");
    return false;
}

void TNas::removeShare() {
    if (attachedNasSettings_ && !attachedNasSettings_->FShareName.empty()) {
        host_.ShareManager().ShareDeleteAt(attachedNasSettings_->FShareName, Root());
    }
}

void TNas::DoPingToSrv() {
    pingWorker_.Start(attachedNasSettings_, driveName_);
}

// --- TNasManager ---

bool TNasManager::addNas(std::u16string_view Drive, bool OpenShare) {
    if (const TNas* existing = getNasByname(Drive)) {
        if (existing->IsShared()) return false;
        removeNas(Drive);
    }
    const std::optional<TDriveLetter> drive = TDriveLetter::Parse(Drive);
    if (!drive) return false;  // a text that names no drive has nothing to share
    const std::u16string root = drive->Root();
    const std::u16string letter = NormalizedDriveLetter(Drive);
    const std::uint64_t removals = removalRequests_[letter];
    auto nas = std::make_unique<TNas>(host_, Drive);
    try {
        if (!nas->PassesWriteTest(OpenShare)) return false;
        if (!nas->AttachAndShare(OpenShare) || nas->ShareName().empty()) return false;
    } catch (const Exception&) {
        // A drive pulled out in the middle fails its file operations: that ends the arrival quietly.
        // On a drive that is still there the error is real and goes on to the caller.
        if (fs::DirectoryExists(root)) throw;
        LogApp(u"Detached ", root);
        return false;
    }

    // The write test and the attach let other handlers run: look again before registering.
    if (getNasByname(letter)) {
        // A nested arrival registered the drive meanwhile, with a share from the same file. Only a
        // share that no registered drive uses is ours to take back.
        if (!ShareNameInUse(nas->ShareName())) nas->removeShare();
        return false;
    }
    if (removalRequests_[letter] != removals || !fs::DirectoryExists(root)) {
        // The drive left while it was being attached: its share goes with it.
        if (!ShareNameInUse(nas->ShareName())) nas->removeShare();
        LogApp(u"Detached ", root);
        return false;
    }
    nasList_.push_back(std::move(nas));
    nasCount_ = static_cast<int>(nasList_.size());
    host_.AttachedNasDriveLettersChange(*this);
    return true;
}

bool TNasManager::removeNas(std::u16string_view Drive) {
    const std::u16string letter = NormalizedDriveLetter(Drive);
    ++removalRequests_[letter];
    if (!getNasByname(letter)) return false;
    LogApp(u"Detached ", std::u16string(Drive) + u":\\");
    // The log let other handlers run: the entry may have gone, or another may hold the letter now.
    const auto found =
        std::find_if(nasList_.begin(), nasList_.end(), [&](const auto& entry) { return entry->DriveName() == letter; });
    if (found == nasList_.end()) return false;
    const std::unique_ptr<TNas> nas = std::move(*found);
    nasList_.erase(found);
    nasCount_ = static_cast<int>(nasList_.size());
    nas->removeShare();
    host_.AttachedNasDriveLettersChange(*this);
    return true;
}

bool TNasManager::ShareNameInUse(std::u16string_view shareName) const {
    return std::any_of(nasList_.begin(), nasList_.end(),
                       [&](const auto& entry) { return EqualsIgnoreCase(entry->ShareName(), shareName); });
}

TNas* TNasManager::getNasByname(std::u16string_view Drive) const {
    const std::u16string letter = NormalizedDriveLetter(Drive);
    for (const auto& nas : nasList_) {
        if (nas->DriveName() == letter) return nas.get();
    }
    return nullptr;
}

TNas* TNasManager::GetNasByIndex(int ind) const {
    if (ind < 0 || ind >= nasCount_) return nullptr;
    return nasList_[static_cast<std::size_t>(ind)].get();
}

std::vector<std::u16string> TNasManager::GetNasDriveNamesList() const {
    std::vector<std::u16string> letters;
    for (const auto& nas : nasList_) {
        if (nas->IsShared()) letters.push_back(nas->DriveName());
    }
    return letters;
}

std::vector<std::u16string> TNasManager::GetNasShareNamesList() const {
    std::vector<std::u16string> names;
    for (const auto& nas : nasList_) names.push_back(nas->ShareName());
    return names;
}

}  // namespace dv
