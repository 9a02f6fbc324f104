#include "face/face_dialogs.h"

#include <utility>

#include "accounts/user_manager.h"
#include "platform/drive_letter.h"
#include "platform/errors.h"
#include "platform/text.h"

namespace dv::face {

using remote::TDriveState;

namespace {

std::u16string PasswordOf(const TDialogData& data, std::u16string_view account) {
    for (const auto& [name, password] : data.Passwords) {
        if (EqualsIgnoreCase(name, account)) return password;
    }
    return {};
}

}  // namespace

TFaceDriveSettingsHost::TFaceDriveSettingsHost(TDialogData data, std::u16string hostName,
                                               std::function<void(remote::TBody request)> send)
    : data_(std::move(data)), hostName_(std::move(hostName)), send_(std::move(send)) {
    settings_.FDefaultShareUserName = data_.Status.DefaultAccount;
    settings_.FIsInDomain = data_.Status.InDomain ? 1 : 0;
}

const remote::TDriveStatus* TFaceDriveSettingsHost::StatusOf(char16_t drive) const {
    for (const remote::TDriveStatus& status : data_.Status.Drives) {
        if (status.Letter.Letter() == drive) return &status;
    }
    return nullptr;
}

const remote::TDriveSettings* TFaceDriveSettingsHost::SettingsOf(char16_t drive) const {
    const auto found = data_.Drives.find(drive);
    return found == data_.Drives.end() ? nullptr : &found->second;
}

std::vector<std::u16string> TFaceDriveSettingsHost::GetUsbDrives() {
    std::vector<std::u16string> letters;
    for (const remote::TDriveStatus& drive : data_.Status.Drives) letters.push_back(drive.Letter.Text());
    return letters;
}

std::uint32_t TFaceDriveSettingsHost::DriveType(char16_t drive) {
    const remote::TDriveSettings* settings = SettingsOf(drive);
    return settings && !settings->Removable ? kDriveFixed : kDriveRemovable;
}

TUSBDrvInfo TFaceDriveSettingsHost::GetUSBDiskDriveInfo(char16_t drive) {
    const remote::TDriveStatus* status = StatusOf(drive);
    if (!status) return {};
    return {status->VolumeLabel, status->Capacity};
}

std::u16string TFaceDriveSettingsHost::GetVolumeLabel(char16_t drive) {
    if (const remote::TDriveSettings* settings = SettingsOf(drive)) return settings->VolumeLabel;
    const remote::TDriveStatus* status = StatusOf(drive);
    return status ? UpperCase(status->VolumeLabel) : std::u16string();
}

std::u16string TFaceDriveSettingsHost::StoredVolumeLabel(char16_t drive) {
    return GetVolumeLabel(drive);
}

bool TFaceDriveSettingsHost::chageDriveLabel(char16_t drive, std::u16string_view label) {
    labels_[drive] = std::u16string(label);
    return true;
}

bool TFaceDriveSettingsHost::DriveFileExists(char16_t, std::u16string_view) {
    // The engine read the file that counts (velmora.conf or the one set aside): every read below
    // gives that one.
    return false;
}

std::unique_ptr<TShareSettings> TFaceDriveSettingsHost::ReadDriveFile(char16_t drive, std::u16string_view) {
    auto file = std::make_unique<TShareSettings>(u"");
    if (const remote::TDriveSettings* settings = SettingsOf(drive)) {
        file->FShareName = settings->ShareName;
        file->FShareDescription = settings->Description;
        file->FShareUserName = settings->Account;
        file->FAutoRemove = settings->AutoRemove;
        file->FEncrypt = settings->Encrypt;
    }
    return file;
}

void TFaceDriveSettingsHost::StoreDriveFile(char16_t drive, TShareSettings&, const TDriveSettingsFields& fields) {
    const auto label = labels_.find(drive);
    const remote::TChangeDriveSettings request{TDriveLetter(drive),
                                               fields.ShareName,
                                               fields.Description,
                                               fields.Account,
                                               fields.AutoRemove,
                                               fields.Encrypt,
                                               label != labels_.end() ? label->second : GetVolumeLabel(drive)};
    if (const std::optional<std::u16string> problem = remote::FieldProblem(request)) throw Exception(*problem);
    send_(request);
}

std::u16string TFaceDriveSettingsHost::AccountPassword(std::u16string_view account) {
    return PasswordOf(data_, account);
}

std::optional<std::u16string> TFaceDriveSettingsHost::AttachedShareName(char16_t drive) {
    const remote::TDriveStatus* status = StatusOf(drive);
    if (!status || status->State == TDriveState::Plugged) return std::nullopt;
    return status->ShareName;
}

std::vector<std::u16string> TFaceDriveSettingsHost::GetNasDriveNamesList() {
    std::vector<std::u16string> letters;
    for (const remote::TDriveStatus& drive : data_.Status.Drives) {
        if (drive.State != TDriveState::Plugged) letters.push_back(drive.Letter.Text());
    }
    return letters;
}

std::vector<std::u16string> TFaceDriveSettingsHost::GetNasShareNamesList() {
    return data_.Status.Shares;
}

std::vector<std::u16string> TFaceDriveSettingsHost::GetDockvaneUserList() {
    return data_.Status.Accounts;
}

std::u16string TFaceDriveSettingsHost::GenerateUserNameByShareName(const std::u16string& shareName) {
    return dv::GenerateUserNameByShareName(shareName);
}

std::u16string TFaceDriveSettingsHost::MakePassword(const std::u16string&) {
    // Passwords are derived from the engine's secret: only the engine's answers tell them.
    return {};
}

bool TFaceDriveSettingsHost::ChekToManualUserDeleteByuserName(const std::u16string&,
                                                              const std::vector<std::u16string>&) {
    return false;
}

std::u16string TFaceDriveSettingsHost::getHostname() {
    return hostName_;
}

TApplicationSettings& TFaceDriveSettingsHost::ApplicationSettings() {
    return settings_;
}

void TFaceDriveSettingsHost::RemoveNASDrive(char16_t drive) {
    send_(remote::TDisableDrive{TDriveLetter(drive)});
}

void TFaceDriveSettingsHost::DisconnectNASDrive(char16_t) {}

bool TFaceDriveSettingsHost::EjectRemovableDriveByLetter(char16_t drive) {
    send_(remote::TEjectDrive{TDriveLetter(drive)});
    return true;
}

TFaceDomainUser::TFaceDomainUser(TDialogData data, std::function<void(remote::TBody request)> send)
    : shown_{data.Status.DefaultAccount, PasswordOf(data, data.Status.DefaultAccount)}, send_(std::move(send)) {}

TDomainUserFields TFaceDomainUser::LoadShareUser() {
    return shown_;
}

std::u16string TFaceDomainUser::PasswordToCopy() {
    return shown_.Password;
}

std::optional<std::u16string> TFaceDomainUser::Close(TDialogResult result, const TDomainUserFields& fields) {
    if (std::optional<std::u16string> missing = DomainUserFieldMissing(result, fields)) return missing;
    if (fields.UserName.empty() || fields.Password.empty()) return std::nullopt;
    if (fields.UserName == shown_.UserName && fields.Password == shown_.Password) return std::nullopt;
    const remote::TSetDomainUser request{fields.UserName, fields.Password};
    if (std::optional<std::u16string> problem = remote::FieldProblem(request)) return problem;
    send_(request);
    return std::nullopt;
}

}  // namespace dv::face
