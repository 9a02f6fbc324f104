// The engine's end of the pipe: every face and dockvane-cli connects here. One thread of its own
// does all the pipe's I/O (overlapped, on a completion port), so a client that stays silent, stops in
// the middle of a frame or never reads what it is sent holds up nothing but its own connection.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "platform/handles_win.h"
#include "platform/windows_include.h"
#include "remote/access.h"
#include "remote/face_link.h"

namespace dv::remote {

inline constexpr std::wstring_view kPipeName = L"\\\\.\\pipe\\Dockvane";
// Faces are one per person signed in, plus a command-line client now and then.
inline constexpr std::size_t kMaxConnections = 32;
// What may wait for a connection that does not read: past it the connection is closed.
inline constexpr std::size_t kMaxQueuedBytes = 1024 * 1024;

struct TPipeServerHandlers {
    // A complete frame's payload, as the client sent it, with what the client's token says. Runs on
    // the server's own thread; it may call Send, Subscribe and Broadcast, never destroy the server,
    // and raises nothing.
    std::function<void(TConnectionId, const TCaller&, std::string payload)> OnPayload;
    // A connection that ended (closed by the client, broken, or closed for its faults); not called
    // for the connections that the server's destruction closes.
    std::function<void(TConnectionId)> OnEnded;
};

class TPipeServer final : public IFaceLink {
public:
    // Makes the pipe and starts serving. Raises EOSError with the system's code when the pipe cannot
    // be made, and (ERROR_ACCESS_DENIED) when another process has made one of that name first.
    TPipeServer(std::wstring name, TPipeServerHandlers handlers);
    // Closes every connection and ends the thread; returns once nothing of the server is left.
    ~TPipeServer() override;
    TPipeServer(const TPipeServer&) = delete;
    TPipeServer& operator=(const TPipeServer&) = delete;

    void Send(TConnectionId to, const TMessage& message) override;
    void Subscribe(TConnectionId connection) override;
    void Broadcast(const TMessage& report) override;
    bool HasSubscribers() const override;

private:
    struct TConnection;
    struct TIo;

    void Run();
    void OnCompletion(TIo& io, bool ok, DWORD bytes);
    void StartListening();
    void Listen();
    void Accept();
    void StartRead(TConnection& connection);
    void OnRead(TConnection& connection, DWORD bytes);
    void StartWrite(TConnection& connection);
    void FlushWrites();
    // Cancels what is pending; the connection goes once all of it has completed. The caller uses
    // `connection` no more.
    void Close(TConnection& connection);
    void ReleaseIfDone(TConnection& connection);
    void Enqueue(TConnection& connection, const std::string& frame);
    void WakeLocked();
    UniqueFileHandle MakeInstance(bool first, std::uint32_t& error) const;

    const std::wstring name_;
    const TPipeServerHandlers handlers_;
    UniqueKernelHandle port_;
    std::unique_ptr<TConnection> listening_;
    // Changed on the server's thread only, under the lock; other threads read it under the lock.
    std::map<TConnectionId, std::unique_ptr<TConnection>> connections_;
    mutable std::mutex mutex_;
    TConnectionId lastId_ = 0;
    bool stopping_ = false;
    bool wakePosted_ = false;  // under the lock
    std::atomic<std::thread::id> ioThread_;
    std::thread thread_;
};

}  // namespace dv::remote
