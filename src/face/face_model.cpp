#include "face/face_model.h"

#include <algorithm>
#include <type_traits>
#include <utility>
#include <variant>

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
}

void TFaceModel::OnSent(std::uint32_t id, TKind kind) {
    pending_[id] = kind;
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

std::optional<std::u16string> ElevatedCliArguments(const TBody& request) {
    if (const auto* eject = std::get_if<TEjectDrive>(&request)) {
        return u"eject " + std::u16string(1, eject->Letter.Letter());
    }
    return std::nullopt;
}

}  // namespace dv::face
