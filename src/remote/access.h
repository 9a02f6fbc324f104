// Who may ask the engine what. The engine reads the facts of a caller from the token of the pipe's
// client (impersonated) and asks this one function; nothing else decides.
#pragma once

#include "remote/protocol.h"

namespace dv::remote {

// What the client's token says. Several may hold at once (an administrator signed in is interactive).
struct TCaller {
    // Signed in at this computer: the token holds the INTERACTIVE group.
    bool LocalInteractive = false;
    // A member of Administrators whose token is elevated (the group enabled, not for deny only).
    bool ElevatedAdministrator = false;
    // The LocalSystem account.
    bool System = false;
    // Came over the network (the token holds the NETWORK group), whatever else it holds. The pipe
    // refuses remote clients; this holds a local client that went through \\host\pipe\ all the same.
    bool Remote = false;
};

enum class TAccess { Allowed, Refused };

// Reading the status, a drive's settings and hearing the reports is open to every person signed in here; every change,
// and reading a password, needs an elevated administrator (or the system itself). A remote caller may
// ask nothing, and nobody may send what only the engine sends.
TAccess DecideAccess(const TCaller& caller, TKind kind);

}  // namespace dv::remote
