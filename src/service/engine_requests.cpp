#include "service/engine_requests.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <utility>
#include <variant>
#include <vector>

#include "accounts/user_manager.h"
#include "dialogs/dialog_types.h"
#include "dialogs/domain_user_dialog.h"
#include "dialogs/drive_settings_dialog.h"
#include "drives/usb_drive_mgmt.h"
#include "platform/drive_letter.h"
#include "platform/errors.h"
#include "platform/text.h"
#include "service/engine_views.h"
#include "settings/app_settings.h"
#include "settings/share_settings.h"
#include "sharing/nas.h"
#include "shell/controller.h"
#include "shell/drive_settings_host.h"

namespace dv {
namespace {

using namespace remote;

TError Failed(std::u16string_view text) {
    return TError{TErrorCode::Failed, ReportText(text, kMaxErrorTextLength)};
}

TError NotAttached(char16_t letter) {
    return TError{TErrorCode::NotAttached, u"Drive " + std::u16string(1, letter) + u": is not attached."};
}

// Whether the request changes something, so that the status is to be built again afterwards.
bool Changes(TKind kind) {
    return kind != TKind::GetStatus && kind != TKind::Subscribe && kind != TKind::GetPassword &&
           kind != TKind::GetDriveSettings;
}

}  // namespace

void AnswerBeforeStart(IFaceLink& faces, TConnectionId connection, const TCaller& caller, std::string_view payload) {
    const TDecoded decoded = Decode(payload, TReader::Engine);
    TBody answer = decoded.Error;
    if (decoded.Message) {
        if (DecideAccess(caller, decoded.Message->Kind()) != TAccess::Allowed) {
            answer = TError{TErrorCode::Refused,
                            u"Only an administrator of this computer may ask this, and nobody over "
                            u"the network"};
        } else if (decoded.Message->Kind() == TKind::Subscribe) {
            faces.Subscribe(connection);
            answer = TOk{};
        } else {
            answer = TError{TErrorCode::Failed, u"The engine is starting; ask again."};
        }
    }
    faces.Send(connection, TMessage{decoded.Id, std::move(answer)});
}

void TellSubscribersTheEngineIsUp(IFaceLink& faces, int trayIconIndex) {
    faces.Broadcast(TMessage{0, TTrayIcon{TEngineViews::TrayImage(trayIconIndex)}});
    faces.Broadcast(TMessage{0, TMenuChanged{}});
}

void TEngineRequests::Handle(TConnectionId connection, const TCaller& caller, std::string_view payload) {
    const TDecoded decoded = Decode(payload, TReader::Engine);
    if (!decoded.Message) {
        Reply(connection, decoded.Id, decoded.Error);
        return;
    }
    const TMessage& request = *decoded.Message;
    if (DecideAccess(caller, request.Kind()) != TAccess::Allowed) {
        Reply(connection, request.Id,
              TError{TErrorCode::Refused,
                     u"Only an administrator of this computer may ask this, and nobody over "
                     u"the network"});
        return;
    }
    TBody answer;
    try {
        answer = Answer(connection, request);
    } catch (const Exception& error) {
        answer = Failed(error.Message());
    } catch (const std::exception& error) {
        answer = Failed(FromUtf8(error.what()));
    }
    if (Changes(request.Kind())) views_.Changed();
    const bool subscribed = request.Kind() == TKind::Subscribe && std::holds_alternative<TOk>(answer);
    Reply(connection, request.Id, std::move(answer));
    // The icon is the one report that tells a state rather than an event: a face that comes later
    // learns it now, after the answer.
    if (subscribed) faces_.Send(connection, TMessage{0, TTrayIcon{TEngineViews::TrayImage(views_.TrayIconIndex())}});
}

void TEngineRequests::Reply(TConnectionId connection, std::uint32_t id, TBody body) {
    // The engine's own texts and names are fitted to the protocol's bounds; one that is not anyway is
    // answered as a failure rather than dropped, so that no request goes without its answer.
    if (const std::optional<std::u16string> problem = FieldProblem(body)) {
        body = Failed(u"The answer could not be sent: " + *problem);
    }
    faces_.Send(connection, TMessage{id, std::move(body)});
}

TBody TEngineRequests::Answer(TConnectionId connection, const TMessage& request) {
    const TBody& body = request.Body;
    switch (request.Kind()) {
        case TKind::GetStatus: return Status();
        case TKind::Subscribe: return Subscribe(connection);
        case TKind::ChangeDriveSettings: return ChangeDriveSettings(std::get<TChangeDriveSettings>(body));
        case TKind::DisableDrive: return DisableDrive(std::get<TDisableDrive>(body).Letter.Letter());
        case TKind::EjectDrive: return EjectDrive(std::get<TEjectDrive>(body).Letter.Letter());
        case TKind::RenewPassword: return RenewPassword();
        case TKind::GetPassword: return GetPassword(std::get<TGetPassword>(body).Account);
        case TKind::SetDomainUser: return SetDomainUser(std::get<TSetDomainUser>(body));
        case TKind::SetAutoPlay: return SetAutoPlay(std::get<TSetAutoPlay>(body).Mode);
        case TKind::SetFaceAutostart: return SetFaceAutostart(std::get<TSetFaceAutostart>(body).Enabled);
        case TKind::GetDriveSettings: return GetDriveSettings(std::get<TGetDriveSettings>(body).Letter.Letter());
        default: break;
    }
    // Decode takes requests only.
    return TError{TErrorCode::UnknownKind, u"The message is of a kind that is not taken here"};
}

TBody TEngineRequests::Subscribe(TConnectionId connection) {
    faces_.Subscribe(connection);
    return TOk{};
}

// --- Drives ---

TBody TEngineRequests::EjectDrive(char16_t letter) {
    const TEjectOutcome outcome = main_.EjectAttachedDrive(letter);
    switch (outcome.Result) {
        case TEjectResult::NotAttached: return NotAttached(letter);
        case TEjectResult::Refused: return Failed(outcome.Refusal);
        case TEjectResult::Ejected:
        case TEjectResult::Unshared: break;
    }
    return TOk{};
}

TBody TEngineRequests::DisableDrive(char16_t letter) {
    if (!main_.NasManager().getNasByname(std::u16string(1, letter))) return NotAttached(letter);
    main_.RemoveNASDrive(letter);
    return TOk{};
}

// The drive settings dialog's OK without the dialog: for an attached drive what Modify does, for a
// plugged USB drive not in the pool what Add does. The fields were checked as a drive file's are.
TBody TEngineRequests::ChangeDriveSettings(const TChangeDriveSettings& request) {
    const char16_t letter = request.Letter.Letter();
    const std::u16string drive(1, letter);
    TDriveSettingsHost host(main_);
    TMode mode = mModify;
    if (!main_.NasManager().getNasByname(drive)) {
        const std::vector<std::u16string> plugged = host.GetUsbDrives();
        if (std::find(plugged.begin(), plugged.end(), drive) == plugged.end()) return NotAttached(letter);
        mode = mAdd;
    }
    const TApplicationSettings& settings = main_.ApplicationSettings();
    std::u16string account = request.Account;
    if (settings.FIsInDomain != 0) {
        // In a domain every share goes to the domain account, as the dialog offers no other.
        if (!account.empty() && !EqualsIgnoreCase(account, settings.FDefaultShareUserName)) {
            return Failed(u"The shares of this computer use the domain account " + settings.FDefaultShareUserName +
                          u".");
        }
        account = settings.FDefaultShareUserName;
    }
    if (ShareNameTaken(host, letter, request.ShareName)) return Failed(ShareNameInUseText(request.ShareName));
    if (!host.chageDriveLabel(letter, request.VolumeLabel)) {
        return Failed(u"Cannot change drive label for [" + drive + u"].");
    }
    // The label may have let other handlers run: the drive is looked at again.
    const bool attached = main_.NasManager().getNasByname(drive) != nullptr;
    if (mode == mModify && !attached) return NotAttached(letter);
    const std::unique_ptr<TShareSettings> file = LoadDriveSettings(host, letter);
    StoreDriveSettings(host, *file,
                       {request.ShareName, request.Description, account, request.AutoRemove, request.Encrypt});
    main_.ApplyDriveSettings(mode, letter, request.VolumeLabel);
    const TNas* nas = main_.NasManager().getNasByname(drive);
    if (!nas || !nas->IsShared()) {
        return Failed(u"The settings of drive " + drive + u": were stored, and the drive is not shared.");
    }
    return TOk{};
}

// What the drive settings dialog would show of the drive, read as it reads it. Only a drive of the
// pool or a plugged USB drive is read: no request makes the engine open a file on any other drive.
TBody TEngineRequests::GetDriveSettings(char16_t letter) {
    const std::u16string drive(1, letter);
    TDriveSettingsHost host(main_);
    if (!main_.NasManager().getNasByname(drive)) {
        const std::vector<std::u16string> plugged = host.GetUsbDrives();
        if (std::find(plugged.begin(), plugged.end(), drive) == plugged.end()) return NotAttached(letter);
    }
    const std::unique_ptr<TShareSettings> file = LoadDriveSettings(host, letter);
    const TApplicationSettings& settings = main_.ApplicationSettings();
    // In a domain the dialog offers the domain account only, whatever the file names.
    const std::u16string& account = settings.FIsInDomain != 0 ? settings.FDefaultShareUserName : file->FShareUserName;
    return TDriveSettings{TDriveLetter(letter),
                          host.DriveType(letter) == kDriveRemovable,
                          ReportName(host.GetVolumeLabel(letter), kMaxVolumeLabelLength),
                          ReportName(file->FShareName, kMaxListedNameLength),
                          ReportName(file->FShareDescription, kMaxDescriptionLength),
                          ReportName(account, kMaxListedNameLength),
                          file->FAutoRemove,
                          file->FEncrypt};
}

// --- Accounts and settings ---

std::optional<TError> TEngineRequests::SettingsUnwritable() {
    if (const std::optional<std::u16string>& unread = main_.SettingsUnread()) {
        return Failed(u"The settings cannot be read: " + *unread);
    }
    return std::nullopt;
}

void TEngineRequests::SaveSettings() {
    main_.ApplicationSettings().Save();
}

TBody TEngineRequests::RenewPassword() {
    if (std::optional<TError> error = SettingsUnwritable()) return *error;
    if (main_.ApplicationSettings().FDefaultShareUserName != kMasterAccountName) {
        return Failed(u"The shares use the domain account: there is no master password to renew.");
    }
    main_.RenewMasterPassword();
    return TOk{};
}

TBody TEngineRequests::GetPassword(const std::u16string& account) {
    if (std::optional<TError> error = SettingsUnwritable()) return *error;
    const TApplicationSettings& settings = main_.ApplicationSettings();
    TUserManager& users = main_.UserManager();
    if (EqualsIgnoreCase(account, settings.FDefaultShareUserName)) {
        return TPassword{settings.FDefaultShareUserName, users.MakePassword(settings.FPasswordSalt)};
    }
    // A drive's own account has the password derived for it when it was made, under the name the
    // system lists. In a domain no such account is made.
    if (settings.FIsInDomain == 0) {
        for (const std::u16string& name : users.GetDockvaneUserList()) {
            if (!EqualsIgnoreCase(name, account) || !users.IsOwnAccount(name)) continue;
            return TPassword{name, users.MakePassword(settings.FPasswordSalt + name)};
        }
    }
    return Failed(u"Dockvane has no account " + account + u".");
}

TBody TEngineRequests::SetAutoPlay(std::int32_t mode) {
    if (std::optional<TError> error = SettingsUnwritable()) return *error;
    main_.OnAutoPlayChange(mode);
    views_.SetAutoPlaySelection(mode);
    SaveSettings();
    return TOk{};
}

TBody TEngineRequests::SetFaceAutostart(bool enabled) {
    if (std::optional<TError> error = SettingsUnwritable()) return *error;
    if (!main_.SetFaceAutostart(enabled)) return Failed(u"Windows did not take the start of Dockvane at sign-in.");
    SaveSettings();
    return TOk{};
}

TBody TEngineRequests::SetDomainUser(const TSetDomainUser& request) {
    if (std::optional<TError> error = SettingsUnwritable()) return *error;
    TApplicationSettings& settings = main_.ApplicationSettings();
    if (settings.FIsInDomain == 0) return Failed(u"The shares of this computer do not use a domain account.");
    TfmDomainUserName dialog(main_.UserManager(), settings);
    if (const std::optional<std::u16string> warning =
            dialog.Close(TDialogResult::Ok, {request.UserName, request.Password})) {
        return Failed(*warning);
    }
    return TOk{};
}

// --- The status ---

TStatus TEngineRequests::Status() {
    if (!status_ || statusAt_ != views_.Changes()) {
        statusAt_ = views_.Changes();
        status_ = BuildStatus();
    }
    return *status_;
}

TStatus TEngineRequests::BuildStatus() {
    const TApplicationSettings& settings = main_.ApplicationSettings();
    const bool inDomain = settings.FIsInDomain != 0;
    TStatus status;
    status.InDomain = inDomain;
    status.DefaultAccount = ReportName(settings.FDefaultShareUserName, kMaxListedNameLength);
    status.AutoPlay = settings.FAutoPlay >= 0 && settings.FAutoPlay <= 2 ? settings.FAutoPlay : 2;
    status.FaceAutostart = settings.FAutoStart;

    // What the registry holds, copied first: the volume queries below touch no entry.
    TNasManager& registry = main_.NasManager();
    std::vector<std::u16string> letters;
    for (int index = 0; index < registry.NasCount(); ++index) {
        const TNas& nas = *registry.GetNasByIndex(index);
        const std::optional<TDriveLetter> letter = TDriveLetter::Parse(nas.DriveName());
        if (!letter) continue;
        const TShareSettings* config = nas.AttachedNasSettings();
        const std::u16string& own = config ? config->FShareUserName : std::u16string();
        const std::u16string& account = inDomain || own.empty() ? settings.FDefaultShareUserName : own;
        status.Drives.push_back({*letter,
                                 nas.IsShared() ? TDriveState::Shared : TDriveState::Unshared,
                                 {},
                                 {},
                                 ReportName(nas.ShareName(), kMaxListedNameLength),
                                 ReportName(account, kMaxListedNameLength)});
        letters.push_back(letter->Text());
    }
    std::vector<std::u16string> usb;
    main_.USBDriveManager().GetUsbDrives(usb);
    for (const std::u16string& text : usb) {
        const std::optional<TDriveLetter> letter = TDriveLetter::Parse(text);
        if (!letter || std::find(letters.begin(), letters.end(), letter->Text()) != letters.end()) continue;
        status.Drives.push_back({*letter, TDriveState::Plugged, {}, {}, {}, {}});
        letters.push_back(letter->Text());
    }
    for (TDriveStatus& drive : status.Drives) {
        TUSBDrvInfo info;
        main_.USBDriveManager().GetUSBDiskDriveInfo(drive.Letter.Letter(), info);
        drive.VolumeLabel = ReportName(info.VolLabel, kMaxVolumeLabelLength);
        drive.Capacity = ReportName(info.Capacity, kMaxCapacityLength);
    }
    std::sort(status.Drives.begin(), status.Drives.end(),
              [](const TDriveStatus& a, const TDriveStatus& b) { return a.Letter.Letter() < b.Letter.Letter(); });

    std::vector<std::u16string> accounts;
    try {
        accounts = main_.UserManager().GetDockvaneUserList();
    } catch (const Exception&) {
        // The accounts could not be listed: the status still tells the drives.
    }
    const auto listed = [](std::vector<std::u16string> names) {
        std::vector<std::u16string> fit;
        for (const std::u16string& name : names) {
            if (fit.size() == kMaxListedNames) break;
            if (!name.empty()) fit.push_back(ReportName(name, kMaxListedNameLength));
        }
        return fit;
    };
    status.Accounts = listed(std::move(accounts));
    status.Shares = listed(registry.GetNasShareNamesList());
    return status;
}

}  // namespace dv
