#include "service/engine_views.h"

#include <cstddef>
#include <utility>

#include "logging/logs.h"
#include "platform/drive_letter.h"

namespace dv {
namespace {

constexpr char16_t kReplacement = u'\uFFFD';

bool IsControl(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// What the protocol refuses in a name besides control characters: line and paragraph separators, and
// whatever turns the direction of the text around it.
bool TurnsOrBreaks(char16_t c) {
    return c == 0x2028 || c == 0x2029 || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

template <typename Refused>
std::u16string Fit(std::u16string_view text, std::size_t maxLength, Refused refused) {
    std::u16string fit;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        const bool high = c >= 0xD800 && c <= 0xDBFF;
        const bool pair = high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
        if (pair) {
            if (fit.size() + 2 > maxLength) break;
            fit += c;
            fit += text[++i];
            continue;
        }
        if (fit.size() + 1 > maxLength) break;
        const bool lone = c >= 0xD800 && c <= 0xDFFF;
        fit += lone || refused(c) ? kReplacement : c;
    }
    return fit;
}

}  // namespace

std::u16string ReportName(std::u16string_view text, std::size_t maxLength) {
    return Fit(text, maxLength, [](char16_t c) { return IsControl(c) || TurnsOrBreaks(c); });
}

std::u16string ReportText(std::u16string_view text, std::size_t maxLength) {
    return Fit(text, maxLength, [](char16_t c) { return IsControl(c) && c != u'\t' && c != u'\r' && c != u'\n'; });
}

remote::TTrayImage TEngineViews::TrayImage(int index) {
    switch (index) {
        case 3: return remote::TTrayImage::Available;
        case 4: return remote::TTrayImage::Activity;
        default: return remote::TTrayImage::Idle;
    }
}

void TEngineViews::Broadcast(remote::TBody report) {
    // Every text was fitted to its bounds already; a report that would still be refused is not sent.
    if (remote::FieldProblem(report)) return;
    faces_.Broadcast(remote::TMessage{0, std::move(report)});
}

void TEngineViews::Tell(const remote::TBody& report, std::u16string_view text) {
    if (faces_.HasSubscribers()) {
        Broadcast(report);
    } else {
        LogApp(kNotShownTitle, text);
    }
}

// --- The tray ---

void TEngineViews::SetTrayIconIndex(int index) {
    const bool changed = TrayImage(index) != TrayImage(trayIndex_);
    trayIndex_ = index;
    if (changed) Broadcast(remote::TTrayIcon{TrayImage(index)});
}

void TEngineViews::ShowBalloon(std::u16string_view text, TBalloonIcon icon) {
    const auto kind = icon == TBalloonIcon::Warning ? remote::TBalloonIcon::Warning : remote::TBalloonIcon::Information;
    Tell(remote::TBalloon{kind, ReportText(text, remote::kMaxBalloonTextLength)}, text);
}

void TEngineViews::SetMenuSlot(TMenuSlots slots, int slot, std::u16string_view caption, bool visible) {
    if (slot < 0 || slot >= kSlots) return;
    TMenuSlot& entry = (slots == TMenuSlots::Modify ? modifySlots_ : ejectSlots_)[static_cast<std::size_t>(slot)];
    if (entry.Caption == caption && entry.Visible == visible) return;
    entry = {std::u16string(caption), visible};
    menusChanged_ = true;
}

const TEngineViews::TMenuSlot& TEngineViews::MenuSlot(TMenuSlots slots, int slot) const {
    return (slots == TMenuSlots::Modify ? modifySlots_ : ejectSlots_).at(static_cast<std::size_t>(slot));
}

void TEngineViews::SetAddCaption(std::u16string_view caption) {
    // Set after every arrival and removal: a plugged drive came or went, or the pool changed.
    ++changes_;
    if (addCaption_ != caption) {
        addCaption_ = caption;
        menusChanged_ = true;
    }
    MenusChanged();
}

void TEngineViews::SetRightClickMenu(TPopupMenu menu) {
    // The last step of every rebuild of the menus.
    ++changes_;
    rightClickMenu_ = menu;
    MenusChanged();
}

void TEngineViews::MenusChanged() {
    if (!std::exchange(menusChanged_, false)) return;
    Broadcast(remote::TMenuChanged{});
}

void TEngineViews::DriveShared(char16_t letter, std::u16string_view shareName) {
    ++changes_;
    const std::optional<TDriveLetter> drive = TDriveLetter::Of(letter);
    if (!drive || shareName.empty()) return;
    Broadcast(remote::TDriveAttached{*drive, ReportName(shareName, remote::kMaxListedNameLength)});
}

void TEngineViews::DriveUnshared(char16_t letter) {
    ++changes_;
    if (const std::optional<TDriveLetter> drive = TDriveLetter::Of(letter)) Broadcast(remote::TDriveRemoved{*drive});
}

// --- The settings window ---

void TEngineViews::SetSoundEntries(TSoundBox box, const std::vector<std::u16string>& entries) {
    soundEntries_[box] = entries;
    soundSelected_[box] = -1;
}

std::vector<std::u16string> TEngineViews::SoundEntries(TSoundBox box) const {
    const auto found = soundEntries_.find(box);
    return found == soundEntries_.end() ? std::vector<std::u16string>() : found->second;
}

int TEngineViews::SelectedSound(TSoundBox box) const {
    const auto found = soundSelected_.find(box);
    return found == soundSelected_.end() ? -1 : found->second;
}

// --- Boxes and dialogs ---

void TEngineViews::ShowMessage(std::u16string_view text, TMessageIcon icon) {
    const auto kind = icon == TMessageIcon::Error     ? remote::TBoxIcon::Error
                      : icon == TMessageIcon::Warning ? remote::TBoxIcon::Warning
                                                      : remote::TBoxIcon::Information;
    Tell(remote::TMessageBox{kind, ReportText(text, remote::kMaxBoxTextLength)}, text);
}

bool TEngineViews::AskYesNo(std::u16string_view, std::u16string_view) {
    return false;
}

std::optional<TDriveSettingsResult> TEngineViews::ShowDriveSettingsDialog(TMode, std::u16string_view) {
    return std::nullopt;
}

void TEngineViews::ShowDomainUserDialog(TUserManager&, TApplicationSettings&) {
    // Nobody signed in: nothing is left waiting; the account can be set from a face later.
    Broadcast(remote::TDomainUser{});
}

void TEngineViews::ShowAutoPlayDialog(char16_t driveLetter, std::u16string_view caption) {
    // Nobody signed in: the drive stays as it is, unshared, and no dialog is left waiting for anyone.
    const std::optional<TDriveLetter> drive = TDriveLetter::Of(driveLetter);
    if (!drive) return;
    Broadcast(remote::TAutoPlay{*drive, ReportName(caption, remote::kMaxCaptionLength)});
}

// --- Sounds and the shell ---

bool TEngineViews::PlayEventSound(TSoundBox sound) {
    Broadcast(
        remote::TSound{sound == TSoundBox::Available ? remote::TSoundEvent::Available : remote::TSoundEvent::Done});
    return true;
}

void TEngineViews::QuitApplication() {
    if (OnQuit) OnQuit();
}

}  // namespace dv
