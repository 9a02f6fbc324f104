#include "dialogs/domain_user_dialog.h"

#include <gtest/gtest.h>

#include "accounts/accounts_sim.h"
#include "platform/text.h"
#include "testing/temp_folder.h"

namespace dv {
namespace {

class DomainUserDialogTest : public ::testing::Test {
protected:
    DomainUserDialogTest() : settings(folder.File(u"Settings.ini")), users(sim, settings), dialog(users, settings) {
        settings.FIsInDomain = 1;
        settings.FDefaultShareUserName = u"CORP\\backup";
        settings.FPasswordSalt = EncodePassword(u"Secret1");
    }

    // What the next start reads.
    TApplicationSettings Stored() {
        TApplicationSettings stored(folder.File(u"Settings.ini"));
        stored.Load();
        return stored;
    }

    dv::testing::TempFolder folder;
    TApplicationSettings settings;
    TSimAccounts sim;
    TUserManager users;
    TfmDomainUserName dialog;
};

TEST_F(DomainUserDialogTest, ShowsAndCopiesTheStoredAccount) {
    const TDomainUserFields fields = dialog.LoadShareUser();
    EXPECT_EQ(fields.UserName, u"CORP\\backup");
    EXPECT_EQ(fields.Password, u"Secret1");
    EXPECT_EQ(dialog.PasswordToCopy(), u"Secret1");
}

TEST_F(DomainUserDialogTest, WhatEachWayOfClosingStores) {
    const struct {
        const char* name;
        TDialogResult result;
        TDomainUserFields fields;
        std::optional<std::u16string_view> warning;
        bool stored;
    } cases[] = {
        {"OK", TDialogResult::Ok, {u"CORP\\other", u"pw2"}, std::nullopt, true},
        {"OK without name", TDialogResult::Ok, {u"", u"pw2"}, kUserNameMustBeSpecified, false},
        {"OK without either: the name's warning only", TDialogResult::Ok, {u"", u""}, kUserNameMustBeSpecified, false},
        {"OK without password", TDialogResult::Ok, {u"CORP\\other", u""}, kUserPasswordMustBeSpecified, false},
        {"Cancel, Enter or Escape", TDialogResult::Cancel, {u"CORP\\other", u"pw2"}, std::nullopt, true},
        {"close box", TDialogResult::None, {u"CORP\\other", u"pw2"}, std::nullopt, true},
        // An empty account is never stored, however the dialog closes.
        {"Cancel with empty fields", TDialogResult::Cancel, {u"", u""}, std::nullopt, false},
        {"Cancel with empty password", TDialogResult::Cancel, {u"CORP\\other", u""}, std::nullopt, false},
        {"close box with empty name", TDialogResult::None, {u"", u"pw2"}, std::nullopt, false},
    };
    for (const auto& c : cases) {
        settings.FDefaultShareUserName = u"CORP\\backup";
        settings.FPasswordSalt = EncodePassword(u"Secret1");
        settings.Save();
        const std::optional<std::u16string> warning = dialog.Close(c.result, c.fields);
        EXPECT_EQ(warning, c.warning) << c.name;
        const TApplicationSettings stored = Stored();
        const TDomainUserFields expected = c.stored ? c.fields : TDomainUserFields{u"CORP\\backup", u"Secret1"};
        EXPECT_EQ(stored.FDefaultShareUserName, expected.UserName) << c.name;
        EXPECT_EQ(stored.FPasswordSalt, EncodePassword(expected.Password)) << c.name;
        EXPECT_EQ(settings.FDefaultShareUserName, expected.UserName) << c.name;
    }
}

TEST_F(DomainUserDialogTest, CancelStoresTheShownValuesAgain) {
    const std::u16string salt = settings.FPasswordSalt;
    ASSERT_FALSE(dialog.Close(TDialogResult::Cancel, dialog.LoadShareUser()));
    EXPECT_EQ(Stored().FPasswordSalt, salt);
    EXPECT_EQ(Stored().FDefaultShareUserName, u"CORP\\backup");
}

TEST_F(DomainUserDialogTest, FirstStartOnADomainMemberOffersTheMasterAccount) {
    // The controller opens the dialog before it turns domain mode on: the master account's derived
    // password shows, and closing other than by OK makes it the domain account's password.
    settings.FIsInDomain = 0;
    settings.FDefaultShareUserName = u"dockvane";
    settings.FPasswordSalt = u"01234567890123456789012345678901";
    const TDomainUserFields shown = dialog.LoadShareUser();
    EXPECT_EQ(shown.UserName, u"dockvane");
    EXPECT_EQ(shown.Password, DerivePassword(u"01234567890123456789012345678901"));
    ASSERT_FALSE(dialog.Close(TDialogResult::None, shown));
    settings.FIsInDomain = 1;
    EXPECT_EQ(users.MakePassword(Stored().FPasswordSalt), shown.Password);
}

TEST_F(DomainUserDialogTest, TheCopyButtonCopiesTheStoredPasswordNotTheTypedOne) {
    TDomainUserFields fields = dialog.LoadShareUser();
    fields.Password = u"typed";
    EXPECT_EQ(dialog.PasswordToCopy(), u"Secret1");
    ASSERT_FALSE(dialog.Close(TDialogResult::Ok, fields));
    EXPECT_EQ(dialog.PasswordToCopy(), u"typed");
}

}  // namespace
}  // namespace dv
