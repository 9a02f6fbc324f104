#include "face/face_model.h"

#include <algorithm>
#include <type_traits>
#include <utility>
#include <variant>

#include "platform/text.h"
#include "shell/controller.h"
#include "shell/tray_captions.h"

namespace dv::face {

using remote::DirectionOf;
using remote::kMaxBoxTextLength;
using remote::TBody;
using remote::TBoxIcon;
using remote::TDirection;
using remote::TDriveAttached;
using remote::TDriveRemoved;
using remote::TDriveState;
using remote::TDriveStatus;
using remote::TEjectDrive;
using remote::TError;
using remote::TKind;
using remote::TMenuChanged;
using remote::TMessage;
using remote::TMessageBox;
using remote::TStatus;
using remote::TTrayImage;

TChangeRight ChangeRightOf(const TFaceToken& token) {
    // The engine takes a change from an elevated administrator only (access.h), so a token that is
    // elevated but holds no enabled Administrators group asks in vain, and an administrator's
    // filtered token gets the elevated one through consent.
    if (token.AdministratorsEnabled && token.Elevated) return TChangeRight::Direct;
    if (token.ElevationAvailable) return TChangeRight::Consent;
    return TChangeRight::None;
}

bool IsChange(TFaceCommand command) {
    switch (command) {
        case TFaceCommand::Add:
        case TFaceCommand::Modify:
        case TFaceCommand::DomainUser:
        case TFaceCommand::Eject:
        case TFaceCommand::RenewPassword:
        case TFaceCommand::AutoPlay:
        case TFaceCommand::Autostart: return true;
        case TFaceCommand::Header:
        case TFaceCommand::Host:
        case TFaceCommand::Settings:
        case TFaceCommand::Help:
        case TFaceCommand::About:
        case TFaceCommand::Exit:
        case TFaceCommand::CheckForUpdate: return false;
    }
    return true;
}

bool CommandEnabled(TFaceCommand command, TChangeRight right, bool connected) {
    if (!IsChange(command)) return true;
    return connected && right != TChangeRight::None;
}

bool CommandShowsShield(TFaceCommand command, TChangeRight right, bool connected) {
    return CommandEnabled(command, right, connected) && IsChange(command) && right == TChangeRight::Consent;
}

std::u16string Bounded(std::u16string_view text, std::size_t limit) {
    if (text.size() <= limit) return std::u16string(text);
    std::size_t length = limit;
    // A high surrogate left last would stand for half a character.
    if (length > 0 && text[length - 1] >= 0xD800 && text[length - 1] <= 0xDBFF) --length;
    return std::u16string(text.substr(0, length));
}

TFaceMenus MenusOf(const std::optional<TStatus>& status, std::u16string_view computer) {
    TFaceMenus menus;
    std::vector<TAddableDrive> addable;
    if (status) {
        menus.DomainUserVisible = status->InDomain;
        int slot = 0;
        for (const TDriveStatus& drive : status->Drives) {
            const char16_t letter = drive.Letter.Letter();
            if (drive.State != TDriveState::Shared) addable.push_back({letter, drive.Capacity});
            // Drives of the pool take the slots in the engine's order; past the twelfth they stay
            // without entries, as in the engine's own menus.
            if (drive.State == TDriveState::Plugged || slot >= kSlots) continue;
            const auto index = static_cast<std::size_t>(slot++);
            menus.Eject[index] = {EjectCaption(drive.VolumeLabel, letter, drive.Capacity), true, letter};
            if (drive.State == TDriveState::Shared) {
                menus.Modify[index] = {
                    ModifyCaption(drive.VolumeLabel, letter, drive.Capacity, computer, drive.ShareName), true, letter};
            }
        }
        if (slot > 0) menus.RightClick = TPopupMenu::Eject;
    }
    // The Add entry lists the plugged drives that are not shared, by letter as the system lists them.
    std::sort(addable.begin(), addable.end(),
              [](const TAddableDrive& a, const TAddableDrive& b) { return a.Letter < b.Letter; });
    menus.AddCaption = AddCaption(addable);
    return menus;
}

TFaceIcon TFaceModel::Icon() const {
    if (!connected_) return away_ ? TFaceIcon::NotRunning : TFaceIcon::Idle;
    switch (image_) {
        case TTrayImage::Available: return TFaceIcon::Available;
        case TTrayImage::Activity: return TFaceIcon::Activity;
        case TTrayImage::Idle: break;
    }
    return TFaceIcon::Idle;
}

std::u16string_view TFaceModel::Hint() const {
    return Icon() == TFaceIcon::NotRunning ? kNotRunningHint : kTrayHint;
}

void TFaceModel::OnConnected() {
    connected_ = true;
    away_ = false;
    image_ = TTrayImage::Idle;
}

void TFaceModel::OnDisconnected() {
    connected_ = false;
    away_ = true;
    // What the engine said is no longer true: the next engine reports afresh.
    status_.reset();
    pending_.clear();
    // The answers a dialog waits for will not come; a dialog open already stays until closed.
    dialogAsks_.clear();
    if (dialogState_ == TDialogState::Asking || dialogState_ == TDialogState::Ready) {
        dialogState_ = TDialogState::None;
    }
}

void TFaceModel::OnSent(std::uint32_t id, TKind kind) {
    pending_[id] = kind;
    if (dialogState_ == TDialogState::Asking && (kind == TKind::GetDriveSettings || kind == TKind::GetPassword)) {
        dialogAsks_[id] = kind;
    }
}

std::optional<std::vector<TBody>> TFaceModel::AskForDialog(TFaceDialog dialog, TMode mode, char16_t letter,
                                                           bool withPasswords) {
    // The drive settings list the drives of the status; the domain user dialog, which the engine may
    // ask for before the status came, shows an empty account then.
    if (dialogState_ != TDialogState::None || !connected_ || (dialog == TFaceDialog::DriveSettings && !status_)) {
        return std::nullopt;
    }
    dialogState_ = TDialogState::Asking;
    dialogAsks_.clear();
    dialogLetters_.clear();
    dialog_ = TDialogData{dialog, mode, letter, status_.value_or(TStatus{}), {}, {}};
    std::vector<TBody> asks;
    if (withPasswords && status_) {
        // The accounts the dialogs show: the default one and Dockvane's own.
        std::vector<std::u16string> accounts{status_->DefaultAccount};
        if (dialog == TFaceDialog::DriveSettings) {
            accounts.insert(accounts.end(), status_->Accounts.begin(), status_->Accounts.end());
        }
        std::vector<std::u16string> asked;
        for (const std::u16string& account : accounts) {
            const bool twice = std::any_of(asked.begin(), asked.end(),
                                           [&](const std::u16string& a) { return EqualsIgnoreCase(a, account); });
            if (twice || account.empty()) continue;
            asked.push_back(account);
            asks.push_back(remote::TGetPassword{account});
        }
    }
    if (dialog == TFaceDialog::DriveSettings && status_) {
        // Modify shows its drive only; Add lets the person pick among the drives not in the pool.
        for (const TDriveStatus& drive : status_->Drives) {
            const bool shown = mode == mModify ? drive.Letter.Letter() == letter : drive.State == TDriveState::Plugged;
            if (!shown) continue;
            asks.push_back(remote::TGetDriveSettings{drive.Letter});
            dialogLetters_.insert(drive.Letter.Letter());
        }
    }
    return asks;
}

bool TFaceModel::DialogAsked() {
    if (dialogState_ != TDialogState::Asking) return false;
    if (!dialogAsks_.empty()) return false;
    // Nothing awaited: a dialog that needs no answer opens at once, as long as an engine is there.
    if (!connected_) {
        dialogState_ = TDialogState::None;
        return false;
    }
    dialogState_ = TDialogState::Ready;
    return true;
}

std::optional<TDialogData> TFaceModel::TakeDialog() {
    if (dialogState_ != TDialogState::Ready) return std::nullopt;
    dialogState_ = TDialogState::Open;
    return std::move(dialog_);
}

void TFaceModel::DialogClosed() {
    if (dialogState_ == TDialogState::Open) dialogState_ = TDialogState::None;
}

bool TFaceModel::OnDialogReply(std::uint32_t id, const TBody& body, TFaceEffects& effects) {
    const auto asked = dialogAsks_.find(id);
    if (asked == dialogAsks_.end()) return false;
    const TKind kind = asked->second;
    dialogAsks_.erase(asked);
    if (const auto* password = std::get_if<remote::TPassword>(&body); password && kind == TKind::GetPassword) {
        dialog_.Passwords[password->Account] = password->Password;
    } else if (const auto* settings = std::get_if<remote::TDriveSettings>(&body);
               settings && kind == TKind::GetDriveSettings) {
        // Only a drive it was asked for: a reply for another drive is a fault of the engine's.
        if (dialogLetters_.count(settings->Letter.Letter()) != 0) dialog_.Drives[settings->Letter.Letter()] = *settings;
    }
    // A refusal or an error leaves the field empty: the dialog shows what it has.
    if (dialogAsks_.empty() && dialogState_ == TDialogState::Asking) {
        dialogState_ = TDialogState::Ready;
        effects.DialogReady = true;
    }
    return true;
}

std::optional<TShownBox> TFaceModel::TakeBox() {
    if (boxes_.empty()) return std::nullopt;
    TShownBox box = std::move(boxes_.front());
    boxes_.pop_front();
    return box;
}

void TFaceModel::QueueBox(TShownBox box) {
    if (boxes_.size() >= kMaxWaitingBoxes) boxes_.pop_front();
    boxes_.push_back(std::move(box));
}

namespace {

TBalloonIcon BalloonIconOf(remote::TBalloonIcon icon) {
    return icon == remote::TBalloonIcon::Warning ? TBalloonIcon::Warning : TBalloonIcon::Information;
}

TMessageIcon BoxIconOf(TBoxIcon icon) {
    switch (icon) {
        case TBoxIcon::Information: return TMessageIcon::Information;
        case TBoxIcon::Warning: return TMessageIcon::Warning;
        case TBoxIcon::Error: break;
    }
    return TMessageIcon::Error;
}

}  // namespace

TFaceEffects TFaceModel::OnMessage(const TMessage& message) {
    TFaceEffects effects;
    if (!connected_) return effects;
    if (DirectionOf(message.Kind()) == TDirection::Reply) {
        // Only a reply to a request of this face counts: anything else is a fault or a forgery.
        const auto asked = pending_.find(message.Id);
        if (asked == pending_.end()) return effects;
        const TKind kind = asked->second;
        pending_.erase(asked);
        if (OnDialogReply(message.Id, message.Body, effects)) return effects;
        if (const auto* status = std::get_if<TStatus>(&message.Body)) {
            if (kind != TKind::GetStatus) return effects;
            status_ = *status;
            effects.MenusChanged = true;
        } else if (const auto* error = std::get_if<TError>(&message.Body)) {
            // A refused or failed change is the person's to know; a status that could not be read
            // leaves the menus as they were.
            if (kind == TKind::GetStatus || kind == TKind::Subscribe) return effects;
            QueueBox({Bounded(error->Text, kMaxBoxTextLength), TMessageIcon::Error});
            effects.BoxWaiting = true;
        }
        return effects;
    }
    std::visit(
        [&](const auto& body) {
            using T = std::decay_t<decltype(body)>;
            if constexpr (std::is_same_v<T, remote::TBalloon>) {
                effects.Balloon = TShownBalloon{Bounded(body.Text, kMaxBalloonText), BalloonIconOf(body.Icon)};
            } else if constexpr (std::is_same_v<T, TMessageBox>) {
                QueueBox({Bounded(body.Text, kMaxBoxTextLength), BoxIconOf(body.Icon)});
                effects.BoxWaiting = true;
            } else if constexpr (std::is_same_v<T, remote::TTrayIcon>) {
                effects.IconChanged = body.Image != image_;
                image_ = body.Image;
            } else if constexpr (std::is_same_v<T, remote::TSound>) {
                // The engine says when a sound belongs to what happened; the person chose which one.
                effects.Sound = body.Event == remote::TSoundEvent::Done ? TSoundBox::Done : TSoundBox::Available;
            } else if constexpr (std::is_same_v<T, remote::TAutoPlay>) {
                effects.AutoPlay = body;
            } else if constexpr (std::is_same_v<T, remote::TDomainUser>) {
                effects.DomainUser = true;
            } else if constexpr (std::is_same_v<T, TDriveAttached> || std::is_same_v<T, TDriveRemoved> ||
                                 std::is_same_v<T, TMenuChanged>) {
                effects.AskStatus = true;
            }
        },
        message.Body);
    return effects;
}

std::optional<TBody> TFaceModel::EjectRequest(int slot) const {
    if (slot < 0 || slot >= kSlots || !status_) return std::nullopt;
    const TFaceMenus menus = MenusOf(status_, u"");
    const TFaceSlot& entry = menus.Eject[static_cast<std::size_t>(slot)];
    if (!entry.Visible) return std::nullopt;
    return TBody{TEjectDrive{TDriveLetter(entry.Letter)}};
}

std::optional<char16_t> TFaceModel::ModifyLetter(int slot) const {
    if (slot < 0 || slot >= kSlots || !status_) return std::nullopt;
    const TFaceMenus menus = MenusOf(status_, u"");
    const TFaceSlot& entry = menus.Modify[static_cast<std::size_t>(slot)];
    if (!entry.Visible) return std::nullopt;
    return entry.Letter;
}

std::u16string QuotedArgument(std::u16string_view argument) {
    if (!argument.empty() && argument.find_first_of(u" \t\"") == std::u16string_view::npos) {
        return std::u16string(argument);
    }
    std::u16string quoted = u"\"";
    std::size_t backslashes = 0;
    for (const char16_t c : argument) {
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count only before a quote: there each stands doubled, and the quote escaped.
        quoted.append(c == u'"' ? 2 * backslashes + 1 : backslashes, u'\\');
        backslashes = 0;
        quoted += c;
    }
    // Before the closing quote as well.
    quoted.append(2 * backslashes, u'\\');
    return quoted + u"\"";
}

std::optional<std::u16string> ElevatedCliArguments(const TBody& request) {
    const auto letter = [](const TDriveLetter& drive) { return std::u16string(1, drive.Letter()); };
    if (const auto* eject = std::get_if<TEjectDrive>(&request)) return u"eject " + letter(eject->Letter);
    if (const auto* disable = std::get_if<remote::TDisableDrive>(&request))
        return u"disable " + letter(disable->Letter);
    if (const auto* settings = std::get_if<remote::TChangeDriveSettings>(&request)) {
        std::u16string arguments =
            u"drive-settings " + letter(settings->Letter) + u" --share-name " + QuotedArgument(settings->ShareName);
        for (const auto& [option, value] :
             {std::pair{u"--description", &settings->Description}, std::pair{u"--account", &settings->Account},
              std::pair{u"--volume-label", &settings->VolumeLabel}}) {
            if (!value->empty()) arguments += u" " + std::u16string(option) + u" " + QuotedArgument(*value);
        }
        if (settings->AutoRemove) arguments += u" --auto-remove";
        if (settings->Encrypt) arguments += u" --encrypt";
        return arguments;
    }
    if (std::holds_alternative<remote::TRenewPassword>(request)) return u"renew-password";
    if (const auto* user = std::get_if<remote::TSetDomainUser>(&request)) {
        return u"domain-user " + QuotedArgument(user->UserName);
    }
    if (const auto* autoPlay = std::get_if<remote::TSetAutoPlay>(&request)) {
        if (autoPlay->Mode < 0 || autoPlay->Mode > 2) return std::nullopt;
        return u"autoplay " + std::u16string(1, static_cast<char16_t>(u'0' + autoPlay->Mode));
    }
    if (const auto* autostart = std::get_if<remote::TSetFaceAutostart>(&request)) {
        return autostart->Enabled ? u"face-autostart on" : u"face-autostart off";
    }
    return std::nullopt;
}

std::optional<std::u16string> ElevatedCliPassword(const TBody& request) {
    if (const auto* user = std::get_if<remote::TSetDomainUser>(&request)) return user->Password;
    return std::nullopt;
}

}  // namespace dv::face
