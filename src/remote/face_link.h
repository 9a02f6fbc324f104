// The engine's side of the pipe, as its request handling sees it.
#pragma once
#include <cstdint>
#include "remote/protocol.h"
namespace dv::remote {
using TConnectionId = std::uint64_t;  // never reused within a process; 0 is never a connection
// The engine's side of the pipe, as its request handling sees it. Thread-safe.
class IFaceLink {
public:
    virtual ~IFaceLink() = default;
    // A reply or report to one connection; dropped when it has gone.
    virtual void Send(TConnectionId to, const TMessage& message) = 0;
    // From now on `connection` receives Broadcast reports.
    virtual void Subscribe(TConnectionId connection) = 0;
    // A report to every subscribed connection.
    virtual void Broadcast(const TMessage& report) = 0;
    // Whether any subscribed connection is there now.
    virtual bool HasSubscribers() const = 0;
};
}  // namespace dv::remote
