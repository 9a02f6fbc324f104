// The application's own window messages, timers and menu commands, in one place so that no two of
// them share a number. Tools outside the process (the e2e probe) post the commands as WM_COMMAND.
#pragma once

#include "platform/windows_include.h"

namespace dv {

// Messages to the main window.
inline constexpr UINT kTrayCallbackMessage = WM_APP + 1;     // the notification area reports on the icon
inline constexpr UINT kDirectoryChangeMessage = WM_APP + 2;  // the watcher's worker hands over a change
// Messages to the service's engine window.
inline constexpr UINT kEngineWorkMessage = WM_APP + 3;  // work was posted to the engine's thread
inline constexpr UINT kEngineStopMessage = WM_APP + 4;  // the service is asked to stop

// The tray icon's identifier within the main window.
inline constexpr UINT kTrayIconId = 1;

// Timers of the main window.
enum : UINT_PTR {
    kPollTimerId = 1,
    kNotifyUsbDriveTimerId = 2,
};

// The menus' commands, as WM_COMMAND carries them.
enum : UINT {
    kCmdHeader = 100,
    kCmdHost,
    kCmdAdd,
    kCmdSettings,
    kCmdHelp,
    kCmdAbout,
    kCmdExit,
    kCmdDomainUser,
    kCmdModifyFirst = 200,  // + slot
    kCmdEjectFirst = 300,   // + slot
};

}  // namespace dv
