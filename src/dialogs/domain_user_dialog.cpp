#include "dialogs/domain_user_dialog.h"

namespace dv {

TfmDomainUserName::TfmDomainUserName(TUserManager& userManager, TApplicationSettings& settings)
    : userManager_(userManager), settings_(settings) {}

TDomainUserFields TfmDomainUserName::LoadShareUser() {
    return {settings_.FDefaultShareUserName, userManager_.MakePassword(settings_.FPasswordSalt)};
}

std::u16string TfmDomainUserName::PasswordToCopy() {
    return userManager_.MakePassword(settings_.FPasswordSalt);
}

std::optional<std::u16string> DomainUserFieldMissing(TDialogResult result, const TDomainUserFields& fields) {
    if (result == TDialogResult::Ok) {
        if (fields.UserName.empty()) return std::u16string(kUserNameMustBeSpecified);
        if (fields.Password.empty()) return std::u16string(kUserPasswordMustBeSpecified);
    }
    return std::nullopt;
}

std::optional<std::u16string> TfmDomainUserName::Close(TDialogResult result, const TDomainUserFields& fields) {
    if (std::optional<std::u16string> missing = DomainUserFieldMissing(result, fields)) return missing;
    // An empty account would make every later share fail for a missing account, so no way of
    // closing stores one; only OK, which the user meant as "store", is told why.
    if (fields.UserName.empty() || fields.Password.empty()) return std::nullopt;
    settings_.FDefaultShareUserName = fields.UserName;
    settings_.FPasswordSalt = userManager_.SaltPassword(fields.Password);
    settings_.Save();
    return std::nullopt;
}

}  // namespace dv
