#include "remote/access.h"

namespace dv::remote {

TAccess DecideAccess(const TCaller& caller, TKind kind) {
    if (caller.Remote || DirectionOf(kind) != TDirection::Request) return TAccess::Refused;
    const bool trusted = caller.ElevatedAdministrator || caller.System;
    bool allowed = false;
    switch (kind) {
        case TKind::GetStatus:
        case TKind::Subscribe:
        case TKind::GetDriveSettings: allowed = trusted || caller.LocalInteractive; break;
        case TKind::ChangeDriveSettings:
        case TKind::DisableDrive:
        case TKind::EjectDrive:
        case TKind::RenewPassword:
        case TKind::GetPassword:
        case TKind::SetDomainUser:
        case TKind::SetAutoPlay:
        case TKind::SetFaceAutostart: allowed = trusted; break;
        default: break;
    }
    return allowed ? TAccess::Allowed : TAccess::Refused;
}

}  // namespace dv::remote
