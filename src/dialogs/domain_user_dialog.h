// What the domain user dialog shows and what it stores when it closes; its window builds on this.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "accounts/user_manager.h"
#include "dialogs/dialog_types.h"
#include "settings/app_settings.h"

namespace dv {

inline constexpr std::u16string_view kDomainUserDialogCaption = u"Dockvane in domain user name settings";
inline constexpr std::u16string_view kDomainUserExplanation =
    u"Your computer is part of the domain.\r\n"
    u"For the Dockvane work you must specify  a username and password,\r\n"
    u"which is registered in the domain.\r\n"
    u"By default, network access will be installed for this user.";
inline constexpr std::u16string_view kShareUserNameLabel = u"Share username:";
inline constexpr std::u16string_view kSharePasswordLabel = u"Share password:";
inline constexpr std::u16string_view kCopyUserNameHint = u"Copy username (to clipboard)";
inline constexpr std::u16string_view kCopyPasswordHint = u"Copy password (to clipboard)";
inline constexpr std::u16string_view kUserNameMustBeSpecified = u"User name must be specified";
inline constexpr std::u16string_view kUserPasswordMustBeSpecified = u"User password must be specified";

struct TDomainUserFields {
    std::u16string UserName;
    std::u16string Password;
};

class TfmDomainUserName {
public:
    TfmDomainUserName(TUserManager& userManager, TApplicationSettings& settings);

    // The stored account name and its password.
    TDomainUserFields LoadShareUser();
    // The stored password, not what the field shows: a password typed but not yet stored is not copied.
    std::u16string PasswordToCopy();
    // Runs however the dialog closes. Enter and Escape both close it as Cancel (Cancel is the default
    // button); the close box gives no result (TDialogResult::None). An empty name or password is never
    // stored: OK then answers the warning to show, every other way closes quietly. Otherwise the
    // fields are stored and the settings file saved.
    std::optional<std::u16string> Close(TDialogResult result, const TDomainUserFields& fields);

private:
    TUserManager& userManager_;
    TApplicationSettings& settings_;
};

}  // namespace dv
