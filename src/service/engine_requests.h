// What the engine does for a face's request. Each payload comes in as untrusted bytes with the facts
// of the process that sent it; it is read (what is not a whole valid request gets an error reply and
// the connection stays), the caller is asked for (DecideAccess, for every request), and the request
// is carried out through the controller and answered with its id. Runs on the engine's thread, also
// inside another handler that lets pending messages through: nothing is held across a call that
// may run another handler, and a drive is looked up again by its letter afterwards.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "remote/access.h"
#include "remote/face_link.h"
#include "remote/protocol.h"

namespace dv {

class TEngineViews;
class TfmMain;

// A payload that came before the controller is up. A face may subscribe already (it hears the
// reports from the start on, and the engine tells its subscribers once it is up, so that they ask
// for the status then); every other request is answered that the engine is starting.
void AnswerBeforeStart(remote::IFaceLink& faces, remote::TConnectionId connection, const remote::TCaller& caller,
                       std::string_view payload);
// Once the controller is up: the faces that subscribed meanwhile ask for the status and learn the icon.
void TellSubscribersTheEngineIsUp(remote::IFaceLink& faces, int trayIconIndex);

class TEngineRequests {
public:
    TEngineRequests(TfmMain& main, TEngineViews& views, remote::IFaceLink& faces)
        : main_(main), views_(views), faces_(faces) {}

    // One payload of `connection`; the reply goes back to it through the link.
    void Handle(remote::TConnectionId connection, const remote::TCaller& caller, std::string_view payload);

    // The engine's status as a face reads it: built from what the controller holds, and built again
    // only after the pool, the plugged drives or the settings changed.
    remote::TStatus Status();

private:
    remote::TBody Answer(remote::TConnectionId connection, const remote::TMessage& request);
    remote::TBody Subscribe(remote::TConnectionId connection);
    remote::TBody EjectDrive(char16_t letter);
    remote::TBody DisableDrive(char16_t letter);
    remote::TBody RenewPassword();
    remote::TBody GetPassword(const std::u16string& account);
    remote::TBody SetAutoPlay(std::int32_t mode);
    remote::TBody SetFaceAutostart(bool enabled);
    remote::TBody SetDomainUser(const remote::TSetDomainUser& request);
    remote::TBody ChangeDriveSettings(const remote::TChangeDriveSettings& request);
    remote::TBody GetDriveSettings(char16_t letter);
    remote::TStatus BuildStatus();
    // Why settings cannot be changed now: they could not be read, and are never written then.
    std::optional<remote::TError> SettingsUnwritable();
    // Saves the settings that a request changed.
    void SaveSettings();
    void Reply(remote::TConnectionId connection, std::uint32_t id, remote::TBody body);

    TfmMain& main_;
    TEngineViews& views_;
    remote::IFaceLink& faces_;
    std::optional<remote::TStatus> status_;
    std::uint64_t statusAt_ = 0;
};

}  // namespace dv
