#include "remote/pipe_server_win.h"

#include <sddl.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <deque>
#include <optional>
#include <utility>
#include <vector>

#include "platform/os_error.h"
#include "platform/thread_name.h"
#include "remote/frames.h"

namespace dv::remote {
namespace {

constexpr ULONG_PTR kIoKey = 1;
constexpr ULONG_PTR kWakeKey = 2;
constexpr ULONG_PTR kStopKey = 3;
constexpr DWORD kPipeBufferBytes = 64 * 1024;
constexpr std::size_t kReadChunkBytes = 16 * 1024;
// When a new listening instance could not be made (out of resources), how soon to try again.
constexpr DWORD kListenRetryMs = 1000;

// People signed in here read and write, and nothing more: FILE_CREATE_PIPE_INSTANCE (the
// FILE_APPEND_DATA bit of GENERIC_WRITE) would let them serve the pipe's name themselves.
constexpr DWORD kSignedInRights = FILE_GENERIC_READ | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES;
static_assert(kSignedInRights == 0x12018B);
static_assert((kSignedInRights & FILE_CREATE_PIPE_INSTANCE) == 0);
// Owned by Administrators, an owner that a standard user's process cannot give an object: a client
// tells the service's pipe from a squatter's by it (and Wine gives an object the creator's primary
// group unless the owner is named). The DACL is protected, so nothing is inherited into it.
constexpr wchar_t kPipeSecurity[] = L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x12018b;;;IU)";

struct LocalFreeDeleter {
    void operator()(void* memory) const noexcept { ::LocalFree(memory); }
};

bool IsMember(HANDLE token, WELL_KNOWN_SID_TYPE type) {
    std::array<BYTE, SECURITY_MAX_SID_SIZE> sid{};
    DWORD size = sid.size();
    if (!::CreateWellKnownSid(type, nullptr, sid.data(), &size)) return false;
    BOOL member = FALSE;
    return ::CheckTokenMembership(token, sid.data(), &member) && member;
}

// Whether the token holds the group at all: enabled, deny-only or otherwise. True when the groups
// cannot be read, so that a token that cannot be looked at counts as what is refused most.
bool HoldsGroup(HANDLE token, WELL_KNOWN_SID_TYPE type) {
    std::array<BYTE, SECURITY_MAX_SID_SIZE> sid{};
    DWORD size = sid.size();
    if (!::CreateWellKnownSid(type, nullptr, sid.data(), &size)) return true;
    DWORD needed = 0;
    ::GetTokenInformation(token, TokenGroups, nullptr, 0, &needed);
    if (needed == 0) return true;
    std::vector<std::byte> buffer(needed);
    if (!::GetTokenInformation(token, TokenGroups, buffer.data(), needed, &needed)) return true;
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        if (::EqualSid(groups->Groups[i].Sid, sid.data())) return true;
    }
    return false;
}

bool IsUser(HANDLE token, WELL_KNOWN_SID_TYPE type) {
    std::array<BYTE, SECURITY_MAX_SID_SIZE> sid{};
    DWORD size = sid.size();
    if (!::CreateWellKnownSid(type, nullptr, sid.data(), &size)) return false;
    std::array<std::byte, sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE> buffer{};
    DWORD needed = 0;
    if (!::GetTokenInformation(token, TokenUser, buffer.data(), buffer.size(), &needed)) return false;
    return ::EqualSid(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid, sid.data()) != FALSE;
}

// The facts of the client's token. The client connects at identification level: the token can be
// read, not used. A client that cannot be identified gets no fact, which grants nothing.
TCaller CallerOf(HANDLE pipe) {
    if (!::ImpersonateNamedPipeClient(pipe)) return {};
    HANDLE token = nullptr;
    const BOOL opened = ::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &token);
    // Going on as the client would run every later connection's I/O under its identity.
    if (!::RevertToSelf()) std::abort();
    if (!opened) return {};
    const UniqueKernelHandle owned(token);
    TCaller caller;
    caller.LocalInteractive = IsMember(token, WinInteractiveSid);
    // A filtered administrator's token holds the group for deny only, which CheckTokenMembership
    // does not count.
    caller.ElevatedAdministrator = IsMember(token, WinBuiltinAdministratorsSid);
    caller.System = IsUser(token, WinLocalSystemSid);
    caller.Remote = HoldsGroup(token, WinNetworkSid);
    return caller;
}

enum class TOp { Connect, Read, Write };

}  // namespace

struct TPipeServer::TIo {
    OVERLAPPED Overlapped{};
    TConnection* Owner = nullptr;
    TOp Op = TOp::Read;

    OVERLAPPED* Fresh() {
        Overlapped = OVERLAPPED{};
        return &Overlapped;
    }
};

// One instance of the pipe: listening for a client, then that client's connection. What the server's
// thread alone touches is not guarded; the rest is under the server's lock.
struct TPipeServer::TConnection {
    TConnectionId Id = 0;  // 0 while listening
    UniqueFileHandle Pipe;
    TCaller Caller;
    bool Identified = false;
    TFrameReader Reader;
    TIo ConnectIo{{}, this, TOp::Connect};
    TIo ReadIo{{}, this, TOp::Read};
    TIo WriteIo{{}, this, TOp::Write};
    bool ConnectPending = false;
    bool ReadPending = false;
    bool WritePending = false;
    std::array<char, kReadChunkBytes> ReadBuffer{};
    std::string Writing;

    // Under the lock (written by the server's thread only, for Closing).
    bool Closing = false;
    bool Subscribed = false;
    bool Overflowed = false;
    std::deque<std::string> Queue;
    std::size_t QueuedBytes = 0;  // the queue and what is being written
};

TPipeServer::TPipeServer(std::wstring name, TPipeServerHandlers handlers)
    : name_(std::move(name)), handlers_(std::move(handlers)) {
    port_.reset(::CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
    if (!port_) RaiseLastOSError(::GetLastError());
    std::uint32_t error = 0;
    UniqueFileHandle first = MakeInstance(true, error);
    if (!first) RaiseLastOSError(error);
    listening_ = std::make_unique<TConnection>();
    listening_->Pipe = std::move(first);
    thread_ = std::thread([this] { Run(); });
}

TPipeServer::~TPipeServer() {
    ::PostQueuedCompletionStatus(port_.get(), 0, kStopKey, nullptr);
    if (thread_.joinable()) thread_.join();
}

UniqueFileHandle TPipeServer::MakeInstance(bool first, std::uint32_t& error) const {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kPipeSecurity, SDDL_REVISION_1, &descriptor, nullptr)) {
        error = ::GetLastError();
        return {};
    }
    const std::unique_ptr<void, LocalFreeDeleter> ownedDescriptor(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    const DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0);
    UniqueFileHandle pipe(::CreateNamedPipeW(
        name_.c_str(), openMode, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
        static_cast<DWORD>(kMaxConnections + 1), kPipeBufferBytes, kPipeBufferBytes, 0, &attributes));
    if (!pipe) {
        error = ::GetLastError();
        return {};
    }
    if (first) {
        // Someone who made the name first would receive the faces' requests and answer them. Windows
        // refuses FILE_FLAG_FIRST_PIPE_INSTANCE then; Wine 8 ignores the flag, so the count of
        // instances says it here as well.
        DWORD instances = 0;
        if (!::GetNamedPipeHandleStateW(pipe.get(), nullptr, &instances, nullptr, nullptr, nullptr, 0) ||
            instances != 1) {
            error = ERROR_ACCESS_DENIED;
            return {};
        }
    }
    if (!::CreateIoCompletionPort(pipe.get(), port_.get(), kIoKey, 0)) {
        error = ::GetLastError();
        return {};
    }
    return pipe;
}

void TPipeServer::Run() {
    ioThread_ = std::this_thread::get_id();
    SetCurrentThreadName(u"Dockvane pipe");
    Listen();
    for (;;) {
        if (!listening_ && !stopping_) StartListening();
        if (stopping_ && !listening_ && connections_.empty()) break;
        DWORD bytes = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* overlapped = nullptr;
        const DWORD wait = listening_ || stopping_ ? INFINITE : kListenRetryMs;
        const BOOL ok = ::GetQueuedCompletionStatus(port_.get(), &bytes, &key, &overlapped, wait);
        if (overlapped) {
            static_assert(offsetof(TIo, Overlapped) == 0);
            OnCompletion(*reinterpret_cast<TIo*>(overlapped), ok != FALSE, bytes);
        } else if (ok && key == kStopKey) {
            stopping_ = true;
            if (listening_) Close(*listening_);
            std::vector<TConnection*> open;
            for (auto& entry : connections_) open.push_back(entry.second.get());
            for (TConnection* connection : open) Close(*connection);
        } else if (ok && key == kWakeKey) {
            const std::lock_guard lock(mutex_);
            wakePosted_ = false;
        }
        if (!stopping_) FlushWrites();
    }
}

void TPipeServer::StartListening() {
    std::uint32_t error = 0;
    UniqueFileHandle pipe = MakeInstance(false, error);
    if (!pipe) return;  // tried again after the next event, or after kListenRetryMs
    listening_ = std::make_unique<TConnection>();
    listening_->Pipe = std::move(pipe);
    Listen();
}

void TPipeServer::Listen() {
    while (listening_ && !listening_->Closing) {
        TConnection& pipe = *listening_;
        if (::ConnectNamedPipe(pipe.Pipe.get(), pipe.ConnectIo.Fresh())) {
            pipe.ConnectPending = true;  // its completion is queued all the same
            return;
        }
        const DWORD error = ::GetLastError();
        if (error == ERROR_IO_PENDING) {
            pipe.ConnectPending = true;
            return;
        }
        if (error == ERROR_PIPE_CONNECTED) {
            Accept();
        } else if (error == ERROR_NO_DATA) {
            ::DisconnectNamedPipe(pipe.Pipe.get());  // a client that came and went
        } else {
            listening_.reset();
        }
    }
}

void TPipeServer::Accept() {
    bool full = false;
    {
        const std::lock_guard lock(mutex_);
        full = connections_.size() >= kMaxConnections;
    }
    if (full) {
        // Refused at once rather than left waiting: the client sees its pipe close.
        ::DisconnectNamedPipe(listening_->Pipe.get());
        return;
    }
    std::unique_ptr<TConnection> connection = std::move(listening_);
    TConnection& accepted = *connection;
    {
        const std::lock_guard lock(mutex_);
        accepted.Id = ++lastId_;
        connections_.emplace(accepted.Id, std::move(connection));
    }
    StartRead(accepted);
}

void TPipeServer::StartRead(TConnection& connection) {
    if (!::ReadFile(connection.Pipe.get(), connection.ReadBuffer.data(),
                    static_cast<DWORD>(connection.ReadBuffer.size()), nullptr, connection.ReadIo.Fresh()) &&
        ::GetLastError() != ERROR_IO_PENDING) {
        Close(connection);
        return;
    }
    connection.ReadPending = true;
}

void TPipeServer::OnCompletion(TIo& io, bool ok, DWORD bytes) {
    TConnection& connection = *io.Owner;
    switch (io.Op) {
        case TOp::Connect: connection.ConnectPending = false; break;
        case TOp::Read: connection.ReadPending = false; break;
        case TOp::Write: connection.WritePending = false; break;
    }
    if (connection.Closing) {
        ReleaseIfDone(connection);
        return;
    }
    if (!ok) {
        Close(connection);
        return;
    }
    switch (io.Op) {
        case TOp::Connect:
            Accept();
            Listen();  // the refused client's instance listens again
            break;
        case TOp::Read: OnRead(connection, bytes); break;
        case TOp::Write: {
            const std::size_t written = std::min<std::size_t>(bytes, connection.Writing.size());
            connection.Writing.erase(0, written);
            {
                const std::lock_guard lock(mutex_);
                connection.QueuedBytes -= written;
            }
            if (!connection.Writing.empty()) StartWrite(connection);
            break;
        }
    }
}

void TPipeServer::OnRead(TConnection& connection, DWORD bytes) {
    if (!connection.Identified) {
        // After the first read, where Windows has the client's context in any case.
        connection.Caller = CallerOf(connection.Pipe.get());
        connection.Identified = true;
    }
    std::vector<std::string> frames;
    const bool intact = connection.Reader.Feed(std::string_view(connection.ReadBuffer.data(), bytes), frames);
    // Copies: a handler may queue to this connection, which is all it can do to it. Only this thread
    // closes a connection, and not while a handler runs.
    const TConnectionId id = connection.Id;
    const TCaller caller = connection.Caller;
    for (std::string& frame : frames) {
        if (handlers_.OnPayload) handlers_.OnPayload(id, caller, std::move(frame));
    }
    if (!intact) {
        Close(connection);
        return;
    }
    StartRead(connection);
}

void TPipeServer::StartWrite(TConnection& connection) {
    if (!::WriteFile(connection.Pipe.get(), connection.Writing.data(), static_cast<DWORD>(connection.Writing.size()),
                     nullptr, connection.WriteIo.Fresh()) &&
        ::GetLastError() != ERROR_IO_PENDING) {
        Close(connection);
        return;
    }
    connection.WritePending = true;
}

void TPipeServer::FlushWrites() {
    std::vector<TConnection*> overflowed;
    std::vector<TConnection*> ready;
    {
        const std::lock_guard lock(mutex_);
        for (auto& entry : connections_) {
            TConnection& connection = *entry.second;
            if (connection.Closing) continue;
            if (connection.Overflowed) {
                overflowed.push_back(&connection);
                continue;
            }
            if (connection.WritePending || connection.Queue.empty()) continue;
            for (std::string& frame : connection.Queue) connection.Writing += frame;
            connection.Queue.clear();
            ready.push_back(&connection);
        }
    }
    // Closing one connection may release it, never another.
    for (TConnection* connection : ready) {
        if (std::find(overflowed.begin(), overflowed.end(), connection) == overflowed.end()) StartWrite(*connection);
    }
    for (TConnection* connection : overflowed) Close(*connection);
}

void TPipeServer::Close(TConnection& connection) {
    {
        const std::lock_guard lock(mutex_);
        if (connection.Closing) return;
        connection.Closing = true;
        connection.Queue.clear();
    }
    // What is pending completes as cancelled; the instance goes once nothing refers to it.
    ::CancelIoEx(connection.Pipe.get(), nullptr);
    ReleaseIfDone(connection);
}

void TPipeServer::ReleaseIfDone(TConnection& connection) {
    if (connection.ConnectPending || connection.ReadPending || connection.WritePending) return;
    if (&connection == listening_.get()) {
        listening_.reset();
        return;
    }
    const TConnectionId id = connection.Id;
    std::unique_ptr<TConnection> released;
    {
        const std::lock_guard lock(mutex_);
        const auto found = connections_.find(id);
        if (found == connections_.end()) return;
        released = std::move(found->second);
        connections_.erase(found);
    }
    released.reset();
    if (!stopping_ && handlers_.OnEnded) handlers_.OnEnded(id);
}

namespace {

// The frame of a message; a reply that cannot be sent as it is becomes an error reply, so that the
// client's request is answered all the same.
std::optional<std::string> FrameOf(const TMessage& message) {
    if (const auto payload = Encode(message)) {
        if (auto frame = Frame(*payload)) return frame;
    }
    if (message.Id == 0) return std::nullopt;
    const auto error = Encode(TMessage{message.Id, TError{TErrorCode::Failed, u"The reply could not be sent."}});
    return error ? Frame(*error) : std::nullopt;
}

}  // namespace

void TPipeServer::Enqueue(TConnection& connection, const std::string& frame) {
    if (connection.Closing || connection.Overflowed) return;
    if (connection.QueuedBytes + frame.size() > kMaxQueuedBytes) {
        // A face that does not read is dropped, not waited for.
        connection.Overflowed = true;
        connection.Queue.clear();
        return;
    }
    connection.Queue.push_back(frame);
    connection.QueuedBytes += frame.size();
}

void TPipeServer::Send(TConnectionId to, const TMessage& message) {
    const auto frame = FrameOf(message);
    if (!frame) return;
    const std::lock_guard lock(mutex_);
    const auto found = connections_.find(to);
    if (found == connections_.end()) return;
    Enqueue(*found->second, *frame);
    WakeLocked();
}

void TPipeServer::Subscribe(TConnectionId connection) {
    const std::lock_guard lock(mutex_);
    const auto found = connections_.find(connection);
    if (found != connections_.end()) found->second->Subscribed = true;
}

void TPipeServer::Broadcast(const TMessage& report) {
    const auto frame = FrameOf(report);
    if (!frame) return;
    const std::lock_guard lock(mutex_);
    for (auto& entry : connections_) {
        if (entry.second->Subscribed) Enqueue(*entry.second, *frame);
    }
    WakeLocked();
}

bool TPipeServer::HasSubscribers() const {
    const std::lock_guard lock(mutex_);
    return std::any_of(connections_.begin(), connections_.end(), [](const auto& entry) {
        const TConnection& connection = *entry.second;
        return connection.Subscribed && !connection.Closing && !connection.Overflowed;
    });
}

void TPipeServer::WakeLocked() {
    // The server's own thread writes what its handlers queued once they return.
    if (std::this_thread::get_id() == ioThread_.load() || wakePosted_) return;
    wakePosted_ = ::PostQueuedCompletionStatus(port_.get(), 0, kWakeKey, nullptr) != FALSE;
}

}  // namespace dv::remote
