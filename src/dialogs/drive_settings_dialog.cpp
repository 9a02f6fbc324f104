#include "dialogs/drive_settings_dialog.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "drives/volume_query.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/text.h"

namespace dv {

namespace {

int IndexOfIgnoreCase(const std::vector<std::u16string>& items, std::u16string_view text) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (EqualsIgnoreCase(items[i], text)) return static_cast<int>(i);
    }
    return -1;
}

// Blanks and control characters at either end go, as a share name check needs.
std::u16string_view TrimControls(std::u16string_view text) {
    while (!text.empty() && text.front() <= u' ') text.remove_prefix(1);
    while (!text.empty() && text.back() <= u' ') text.remove_suffix(1);
    return text;
}

// The busy panel for as long as the controller works on the drive: it goes again however that work
// ends, also when it raises (the error still goes on to whoever reports it).
class BusyScope {
public:
    BusyScope(TModifyNASControls& controls, IModifyNASView& view) : controls_(controls), view_(view) {
        controls_.pnlPleaseWaitVisible = true;
        view_.ShowBusy();
    }
    ~BusyScope() {
        controls_.pnlPleaseWaitVisible = false;
        try {
            view_.EndBusy();
        } catch (...) {
            // Nothing to add to an error already on its way.
        }
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    TModifyNASControls& controls_;
    IModifyNASView& view_;
};

// Whether the character at `i` is the first half of a surrogate pair (a character outside the basic
// plane).
bool StartsPair(std::u16string_view text, std::size_t i) {
    return text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
           text[i + 1] <= 0xDFFF;
}

}  // namespace

std::u16string ShareNameFromLabel(std::u16string_view label) {
    static constexpr std::u16string_view dropped = u" \"*,./:;<>?\\|";
    std::u16string result;
    for (std::size_t i = 0; i < label.size() && result.size() < kMaxShareNameLength; ++i) {
        if (dropped.find(label[i]) != std::u16string_view::npos) continue;
        // A character outside the basic plane is kept whole or not at all.
        if (StartsPair(label, i)) {
            if (result.size() + 2 > kMaxShareNameLength) break;
            result += label[i++];
        }
        result += label[i];
    }
    return result;
}

bool ShareNameKeyAccepted(char16_t key) {
    if (key < 32 || key > 127) return true;
    return kRefusedNameCharacters.find(key) == std::u16string_view::npos;
}

TfmModifyNAS::TfmModifyNAS(IDriveSettingsHost& host, IModifyNASView& view, TMode Mode)
    : host_(host), view_(view), mode_(Mode) {
    FillControls();
}

void TfmModifyNAS::FillControls() {
    // Only USB drives stay in the list, in drive order; the system's list of every drive would lose
    // all others again.
    std::vector<std::u16string> letters = host_.GetUsbDrives();
    if (mode_ == mAdd) {
        const std::vector<std::u16string> attached = host_.GetNasDriveNamesList();
        std::erase_if(letters, [&](const std::u16string& letter) {
            return std::find_if(attached.begin(), attached.end(),
                                [&](const std::u16string& a) { return EqualsIgnoreCase(a, letter); }) != attached.end();
        });
    }
    auto& list = Controls.cbDriveLetter;
    for (const std::u16string& letter : letters) {
        if (letter.empty()) continue;
        const char16_t drive = UpperCase(letter)[0];
        std::u16string entry = std::u16string(1, drive) + u": ";
        if (host_.DriveType(drive) != kDriveRemovable) entry += u"[" + host_.GetVolumeLabel(drive) + u"]";
        entry += u" (" + host_.GetUSBDiskDriveInfo(drive).Capacity + u")";
        list.Items.push_back(std::move(entry));
    }
    if (mode_ == mModify) Controls.cbImageDriveLetter.Enabled = false;

    if (!list.Items.empty()) {
        list.ItemIndex = 0;
        drive_ = std::u16string(1, list.Items[0][0]);
        OnDriveLetterChange();
        // The file on the drive decides here, not whether the drive is attached.
        if (host_.DriveFileExists(DriveChar(), kDriveConfigFileName)) {
            LoadActiveSettings();
        } else if (host_.DriveFileExists(DriveChar(), kInactiveDriveConfigFileName)) {
            LoadInactiveSettings();
        }
        Controls.edHostName = host_.getHostname();
        ShowLoadedSettings();
    } else {
        // Nothing qualifies: nothing to store either.
        Controls.btnUpdateEnabled = false;
    }
    FillDrivePicker();

    TApplicationSettings& settings = host_.ApplicationSettings();
    Controls.edShareUserNm = settings.FDefaultShareUserName;
    FillShareUserList();
    Controls.edSharePasswd = host_.AccountPassword(settings.FDefaultShareUserName);
    Controls.pnlPleaseWaitVisible = false;
}

void TfmModifyNAS::SetDrive(std::u16string_view drive) {
    drive_ = UpperCase(drive.substr(0, 1));
    auto& list = Controls.cbDriveLetter;
    list.ItemIndex = -1;
    for (std::size_t i = 0; i < list.Items.size(); ++i) {
        if (!drive_.empty() && list.Items[i][0] == drive_[0]) list.ItemIndex = static_cast<int>(i);
    }
}

void TfmModifyNAS::LoadSettings(std::u16string_view fileName) {
    shareSettings_ = host_.ReadDriveFile(DriveChar(), fileName);
}

void TfmModifyNAS::LoadActiveSettings() {
    LoadSettings(kDriveConfigFileName);
}
void TfmModifyNAS::LoadInactiveSettings() {
    LoadSettings(kInactiveDriveConfigFileName);
}

void TfmModifyNAS::ShowLoadedSettings() {
    const std::u16string label = host_.GetVolumeLabel(DriveChar());
    Controls.edVolumeName = label;
    Controls.edShareName = shareSettings_->FShareName;
    Controls.edShareDescription = shareSettings_->FShareDescription;
    Controls.cbAutoRemove = shareSettings_->FAutoRemove;
    Controls.cbEncrypt = shareSettings_->FEncrypt;
    if (Controls.edShareName.empty()) Controls.edShareName = ShareNameFromLabel(label);
}

void TfmModifyNAS::OnDriveLetterChange() {
    const bool attached = host_.AttachedShareName(DriveChar()).has_value();
    Controls.btnDisableEnabled = attached;
    Controls.btnDisableRemoveEnabled = attached;
    if (attached) {
        LoadActiveSettings();
    } else {
        LoadInactiveSettings();
    }
    ShowLoadedSettings();
    Controls.cbImageDriveLetter.ItemIndex = Controls.cbDriveLetter.ItemIndex;
    FillShareUserList();
}

void TfmModifyNAS::OnDrivePickerChange(int pickerIndex) {
    auto& list = Controls.cbDriveLetter;
    if (pickerIndex < 0 || pickerIndex >= static_cast<int>(list.Items.size())) return;
    list.ItemIndex = pickerIndex;
    // The picker's entry is the list's with a leading blank: the letter is its second character.
    drive_ = Controls.cbImageDriveLetter.Items[pickerIndex].substr(1, 1);
    OnDriveLetterChange();
}

void TfmModifyNAS::FillDrivePicker() {
    auto& picker = Controls.cbImageDriveLetter;
    picker.Items.clear();
    for (const std::u16string& entry : Controls.cbDriveLetter.Items) picker.Items.push_back(u" " + entry);
    picker.ItemIndex = Controls.cbDriveLetter.ItemIndex;
}

void TfmModifyNAS::FillShareUserList() {
    const TApplicationSettings& settings = host_.ApplicationSettings();
    auto& users = Controls.cbShareUserNm;
    users.Items.clear();
    users.ItemIndex = -1;
    if (settings.FIsInDomain != 0) {
        users.Items.push_back(Controls.edShareUserNm);
        users.ItemIndex = 0;
        Controls.cbShareUserNmText = Controls.edShareUserNm;
    } else {
        users.Items = host_.GetDockvaneUserList();
        const std::u16string generated = host_.GenerateUserNameByShareName(Controls.edShareName);
        if (IndexOfIgnoreCase(users.Items, generated) < 0) users.Items.push_back(generated);
        SelectShareUser();
    }
    users.Enabled = settings.FIsInDomain == 0;
}

void TfmModifyNAS::SelectShareUser() {
    if (host_.ApplicationSettings().FIsInDomain == 1) return;
    auto& users = Controls.cbShareUserNm;
    if (users.Items.empty()) return;
    users.ItemIndex = 0;
    const std::u16string& configured = shareSettings_ ? shareSettings_->FShareUserName : std::u16string();
    if (!configured.empty()) {
        const int found = IndexOfIgnoreCase(users.Items, configured);
        if (found > 0) users.ItemIndex = found;
    }
    Controls.cbShareUserNmText = users.Items[users.ItemIndex];
}

void TfmModifyNAS::OnActivate() {
    Controls.LabelAutoRemove = u"(check for file '" + drive_ + u":\\backup.done')";
}

TDialogResult TfmModifyNAS::OnUpdate() {
    TDialogResult result = TDialogResult::Ok;

    std::u16string name = Controls.edShareName;
    std::erase(name, u' ');
    if (name.size() > kMaxShareNameLength) name.resize(kMaxShareNameLength);
    Controls.edShareName = name;

    Controls.edHostName = host_.getHostname();

    if (TrimControls(Controls.edShareName).empty()) {
        view_.ShowMessage(kShareNameCannotBeBlank, TMessageKind::Error);
        view_.FocusShareName();
        result = TDialogResult::None;
    }

    if (!host_.chageDriveLabel(DriveChar(), Controls.edVolumeName)) {
        view_.ShowMessage(u"Cannot change drive label for [" + drive_ + u"].", TMessageKind::Warning);
        Controls.edVolumeName = host_.StoredVolumeLabel(DriveChar());
        result = TDialogResult::None;
    }

    if (ShareNameTaken(host_, DriveChar(), Controls.edShareName)) {
        view_.ShowMessage(ShareNameInUseText(Controls.edShareName), TMessageKind::Error);
        view_.FocusShareName();
        result = TDialogResult::None;
    }
    return result;
}

bool TfmModifyNAS::OnClose(TDialogResult result) {
    if (result != TDialogResult::Ok || !shareSettings_) return true;
    try {
        host_.StoreDriveFile(DriveChar(), *shareSettings_,
                             {Controls.edShareName, Controls.edShareDescription, Controls.cbShareUserNmText,
                              Controls.cbAutoRemove, Controls.cbEncrypt});
    } catch (const Exception& error) {
        // A drive that refuses the file (write-protected, pulled out): say so and keep the user's
        // input, rather than close as if it had been stored.
        view_.ShowMessage(error.Message(), TMessageKind::Error);
        return false;
    }
    return true;
}

std::unique_ptr<TShareSettings> LoadDriveSettings(IDriveSettingsHost& host, char16_t drive) {
    const std::u16string root = host.DriveRoot(drive);
    const bool active = host.AttachedShareName(drive).has_value() ||
                        fs::ReplaceableFileExists(root + std::u16string(kDriveConfigFileName));
    auto settings = std::make_unique<TShareSettings>(
        root + std::u16string(active ? kDriveConfigFileName : kInactiveDriveConfigFileName));
    settings->Load();
    return settings;
}

bool ShareNameTaken(IDriveSettingsHost& host, char16_t drive, std::u16string_view shareName) {
    std::vector<std::u16string> inUse = host.GetNasShareNamesList();
    if (const std::optional<std::u16string> own = host.AttachedShareName(drive)) {
        if (auto it = std::find(inUse.begin(), inUse.end(), *own); it != inUse.end()) inUse.erase(it);
    }
    return IndexOfIgnoreCase(inUse, shareName) >= 0;
}

std::u16string ShareNameInUseText(std::u16string_view shareName) {
    return u"Share name " + std::u16string(shareName) + u" is already in use!";
}

void StoreDriveSettings(IDriveSettingsHost& host, TShareSettings& settings, const TDriveSettingsFields& fields) {
    const std::u16string previousUser = settings.FShareUserName;
    settings.FShareName = fields.ShareName;
    settings.FShareUserName = fields.Account;
    settings.FShareDescription = fields.Description;
    settings.FAutoRemove = fields.AutoRemove;
    // An unchecked box leaves a file without the key as it is.
    settings.FEncrypt = fields.Encrypt;
    try {
        settings.Save();
    } catch (...) {
        settings.FShareUserName = previousUser;
        throw;
    }
    if (settings.FShareUserName != previousUser) {
        host.ChekToManualUserDeleteByuserName(previousUser, host.GetNasDriveNamesList());
    }
}

void TfmModifyNAS::OnDisable() {
    if (!view_.Confirm(kConfirmDisable)) return;
    const BusyScope busy(Controls, view_);
    host_.RemoveNASDrive(DriveChar());
    Controls.btnDisableEnabled = false;
    view_.CloseDialog(TDialogResult::Cancel);
}

void TfmModifyNAS::OnDisableRemove() {
    if (!view_.Confirm(kConfirmEject)) return;
    const BusyScope busy(Controls, view_);
    host_.DisconnectNASDrive(DriveChar());
    host_.EjectRemovableDriveByLetter(DriveChar());
    view_.CloseDialog(TDialogResult::Cancel);
}

void TfmModifyNAS::OnCopyHost() {
    view_.SetClipboardText(Controls.edHostName);
}

void TfmModifyNAS::OnCopyUserName() {
    view_.SetClipboardText(Controls.cbShareUserNmText);
}

void TfmModifyNAS::OnCopyPassword() {
    const std::u16string password = host_.AccountPassword(Controls.cbShareUserNmText);
    if (!password.empty()) view_.SetClipboardText(password);
}

bool IDriveSettingsHost::DriveFileExists(char16_t drive, std::u16string_view fileName) {
    return fs::ReplaceableFileExists(DriveRoot(drive) + std::u16string(fileName));
}

std::unique_ptr<TShareSettings> IDriveSettingsHost::ReadDriveFile(char16_t drive, std::u16string_view fileName) {
    auto settings = std::make_unique<TShareSettings>(DriveRoot(drive) + std::u16string(fileName));
    settings->Load();
    return settings;
}

void IDriveSettingsHost::StoreDriveFile(char16_t, TShareSettings& settings, const TDriveSettingsFields& fields) {
    StoreDriveSettings(*this, settings, fields);
}

std::u16string IDriveSettingsHost::AccountPassword(std::u16string_view account) {
    const TApplicationSettings& settings = ApplicationSettings();
    return account == settings.FDefaultShareUserName ? MakePassword(settings.FPasswordSalt)
                                                     : MakePassword(settings.FPasswordSalt + std::u16string(account));
}

}  // namespace dv
