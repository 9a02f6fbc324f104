#include "remote/access.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <map>
#include <string>

namespace dv::remote {
namespace {

// What each kind is, written out once more so that a kind moved to another class fails here.
enum class TClass { Read, Change, FromEngine };
const std::map<TKind, TClass> kClasses = {
    {TKind::GetStatus, TClass::Read},
    {TKind::Subscribe, TClass::Read},
    {TKind::ChangeDriveSettings, TClass::Change},
    {TKind::DisableDrive, TClass::Change},
    {TKind::EjectDrive, TClass::Change},
    {TKind::RenewPassword, TClass::Change},
    {TKind::GetPassword, TClass::Change},  // a password is a secret of the computer's
    {TKind::SetDomainUser, TClass::Change},
    {TKind::SetAutoPlay, TClass::Change},
    {TKind::SetFaceAutostart, TClass::Change},
    {TKind::Status, TClass::FromEngine},
    {TKind::Ok, TClass::FromEngine},
    {TKind::Error, TClass::FromEngine},
    {TKind::Password, TClass::FromEngine},
    {TKind::DriveAttached, TClass::FromEngine},
    {TKind::DriveRemoved, TClass::FromEngine},
    {TKind::Balloon, TClass::FromEngine},
    {TKind::Box, TClass::FromEngine},
    {TKind::TrayIcon, TClass::FromEngine},
    {TKind::MenuChanged, TClass::FromEngine},
    {TKind::EngineStopping, TClass::FromEngine},
    {TKind::Sound, TClass::FromEngine},
    {TKind::AutoPlay, TClass::FromEngine},
    {TKind::DomainUser, TClass::FromEngine},
    // What the drive settings dialog shows is what the drive's own file says, which anyone at the
    // computer can read; the account's password is not part of it.
    {TKind::GetDriveSettings, TClass::Read},
    {TKind::DriveSettings, TClass::FromEngine},
};

constexpr TAccess Yes = TAccess::Allowed;
constexpr TAccess No = TAccess::Refused;

TEST(PipeAccess, EveryKindForEveryCaller) {
    ASSERT_EQ(kClasses.size(), kKindCount);
    // Every combination of the four facts, each with what it may read and change.
    const struct {
        const char* who;
        TCaller caller;  // interactive, elevated administrator, system, remote
        TAccess read;
        TAccess change;
    } callers[] = {
        {"a service account or a batch job", {false, false, false, false}, No, No},
        {"a standard user signed in (or an administrator not elevated)", {true, false, false, false}, Yes, No},
        {"an elevated administrator not signed in here (a scheduled task)", {false, true, false, false}, Yes, Yes},
        {"an elevated administrator signed in", {true, true, false, false}, Yes, Yes},
        {"the system", {false, false, true, false}, Yes, Yes},
        {"the system, interactive", {true, false, true, false}, Yes, Yes},
        {"the system, administrator", {false, true, true, false}, Yes, Yes},
        {"the system, all", {true, true, true, false}, Yes, Yes},
        {"a remote nobody", {false, false, false, true}, No, No},
        {"a remote user", {true, false, false, true}, No, No},
        {"a remote elevated administrator", {false, true, false, true}, No, No},
        {"a remote administrator, interactive too", {true, true, false, true}, No, No},
        {"a remote system", {false, false, true, true}, No, No},
        {"a remote system, interactive", {true, false, true, true}, No, No},
        {"a remote system, administrator", {false, true, true, true}, No, No},
        {"remote with every fact", {true, true, true, true}, No, No},
    };
    for (const auto& c : callers) {
        for (std::size_t k = 0; k < kKindCount; ++k) {
            const auto kind = static_cast<TKind>(k);
            const TClass what = kClasses.at(kind);
            const TAccess expected = what == TClass::Read ? c.read : what == TClass::Change ? c.change : No;
            EXPECT_EQ(DecideAccess(c.caller, kind), expected) << c.who << " asking " << KindName(kind);
        }
    }
}

}  // namespace
}  // namespace dv::remote
