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

// What the dialog's window asks: of the settings where they are kept, or in a face of the engine.
class IDomainUserLogic {
public:
    virtual ~IDomainUserLogic() = default;
    // The stored account name and its password.
    virtual TDomainUserFields LoadShareUser() = 0;
    // The stored password, not what the field shows: a password typed but not yet stored is not copied.
    virtual std::u16string PasswordToCopy() = 0;
    // Runs however the dialog closes. Enter and Escape both close it as Cancel (Cancel is the default
    // button); the close box gives no result (TDialogResult::None). An empty name or password is never
    // stored: OK then answers the warning to show, every other way closes quietly. Otherwise the
    // fields are stored.
    virtual std::optional<std::u16string> Close(TDialogResult result, const TDomainUserFields& fields) = 0;
};

// The text that an empty field gets on OK; nothing when neither is empty.
std::optional<std::u16string> DomainUserFieldMissing(TDialogResult result, const TDomainUserFields& fields);

class TfmDomainUserName : public IDomainUserLogic {
public:
    TfmDomainUserName(TUserManager& userManager, TApplicationSettings& settings);

    TDomainUserFields LoadShareUser() override;
    std::u16string PasswordToCopy() override;
    // Stores the fields and saves the settings file.
    std::optional<std::u16string> Close(TDialogResult result, const TDomainUserFields& fields) override;

private:
    TUserManager& userManager_;
    TApplicationSettings& settings_;
};

}  // namespace dv
