#include "remote/pipe_client_win.h"

#include <aclapi.h>

#include <array>
#include <utility>

#include "platform/thread_name.h"

namespace dv::remote {
namespace {

constexpr std::size_t kReadChunkBytes = 16 * 1024;

bool IsSid(PSID sid, WELL_KNOWN_SID_TYPE type) {
    std::array<BYTE, SECURITY_MAX_SID_SIZE> expected{};
    DWORD size = expected.size();
    return ::CreateWellKnownSid(type, nullptr, expected.data(), &size) && ::EqualSid(sid, expected.data());
}

// Whether the server end was made by the service (or an administrator): only they can own an object
// as LocalSystem or Administrators.
bool OwnedByTheService(HANDLE pipe) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(pipe, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                          &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const bool trusted = owner && (IsSid(owner, WinLocalSystemSid) || IsSid(owner, WinBuiltinAdministratorsSid));
    ::LocalFree(descriptor);
    return trusted;
}

DWORD Milliseconds(std::chrono::milliseconds duration) {
    if (duration.count() <= 0) return 0;
    return duration.count() >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(duration.count());
}

// Waits for an overlapped operation; on time-out cancels it and waits until the system lets go of its
// buffer. The bytes it moved, or nothing when it failed or was cancelled before it moved any.
std::optional<DWORD> Finish(HANDLE pipe, OVERLAPPED& overlapped, HANDLE event, DWORD timeoutMs, bool& timedOut) {
    timedOut = false;
    const DWORD wait = ::WaitForSingleObject(event, timeoutMs);
    if (wait != WAIT_OBJECT_0) {
        ::CancelIoEx(pipe, &overlapped);
        timedOut = true;
    }
    DWORD bytes = 0;
    if (!::GetOverlappedResult(pipe, &overlapped, &bytes, TRUE)) return std::nullopt;
    return bytes;
}

}  // namespace

TConnectResult TPipeClient::Connect(std::wstring_view name, std::chrono::milliseconds timeout) {
    const std::wstring path(name);
    const ULONGLONG deadline = ::GetTickCount64() + Milliseconds(timeout);
    for (;;) {
        // FILE_WRITE_DATA and not GENERIC_WRITE: the pipe grants a person no FILE_CREATE_PIPE_INSTANCE.
        UniqueFileHandle pipe(::CreateFileW(path.c_str(), GENERIC_READ | FILE_WRITE_DATA, 0, nullptr, OPEN_EXISTING,
                                            FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                                            nullptr));
        if (pipe) {
            if (!OwnedByTheService(pipe.get())) return {nullptr, TConnectFailure::NotTheService, 0};
            TConnectResult result;
            result.Client.reset(new TPipeClient(std::move(pipe)));
            return result;
        }
        DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) return {nullptr, TConnectFailure::NotRunning, error};
        if (error != ERROR_PIPE_BUSY) return {nullptr, TConnectFailure::Failed, error};
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) return {nullptr, TConnectFailure::TimedOut, error};
        if (!::WaitNamedPipeW(path.c_str(), static_cast<DWORD>(deadline - now))) {
            error = ::GetLastError();
            if (error == ERROR_FILE_NOT_FOUND) return {nullptr, TConnectFailure::NotRunning, error};
            if (error == ERROR_SEM_TIMEOUT) return {nullptr, TConnectFailure::TimedOut, error};
            return {nullptr, TConnectFailure::Failed, error};
        }
    }
}

TPipeClient::TPipeClient(UniqueFileHandle pipe)
    : pipe_(std::move(pipe)),
      readEvent_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      writeEvent_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      stopEvent_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      buffer_(kReadChunkBytes) {}

TPipeClient::~TPipeClient() {
    if (thread_.joinable()) {
        ::SetEvent(stopEvent_.get());
        thread_.join();
    }
}

std::uint32_t TPipeClient::NextId() {
    const std::lock_guard lock(mutex_);
    if (++lastId_ == 0) ++lastId_;  // 0 is a report's
    return lastId_;
}

bool TPipeClient::Write(const std::string& frame, std::chrono::milliseconds timeout) {
    const std::lock_guard lock(writeMutex_);
    {
        const std::lock_guard state(mutex_);
        if (broken_) return false;
    }
    OVERLAPPED overlapped{};
    overlapped.hEvent = writeEvent_.get();
    ::ResetEvent(writeEvent_.get());
    if (!::WriteFile(pipe_.get(), frame.data(), static_cast<DWORD>(frame.size()), nullptr, &overlapped) &&
        ::GetLastError() != ERROR_IO_PENDING) {
        const std::lock_guard state(mutex_);
        broken_ = true;
        return false;
    }
    bool timedOut = false;
    const auto written = Finish(pipe_.get(), overlapped, writeEvent_.get(), Milliseconds(timeout), timedOut);
    if (!written || *written != frame.size()) {
        // Half a frame may have gone: the stream cannot be followed any more.
        const std::lock_guard state(mutex_);
        broken_ = true;
        return false;
    }
    return true;
}

bool TPipeClient::ReadSome(DWORD timeoutMs, bool& timedOut) {
    timedOut = false;
    OVERLAPPED overlapped{};
    overlapped.hEvent = readEvent_.get();
    ::ResetEvent(readEvent_.get());
    if (!::ReadFile(pipe_.get(), buffer_.data(), static_cast<DWORD>(buffer_.size()), nullptr, &overlapped) &&
        ::GetLastError() != ERROR_IO_PENDING) {
        return false;
    }
    const auto bytes = Finish(pipe_.get(), overlapped, readEvent_.get(), timeoutMs, timedOut);
    // What a cancelled read brought still belongs to the stream.
    if (bytes) {
        std::vector<std::string> frames;
        if (!reader_.Feed(std::string_view(buffer_.data(), *bytes), frames)) return false;
        for (std::string& frame : frames) frames_.push_back(std::move(frame));
    }
    return bytes.has_value() || timedOut;
}

TCallResult TPipeClient::Call(TMessage request, std::chrono::milliseconds timeout) {
    request.Id = NextId();
    const auto payload = Encode(request);
    const auto frame = payload ? Frame(*payload) : std::nullopt;
    if (!frame) return {TCallOutcome::Unsendable, {}};
    std::unique_lock callLock(callMutex_);
    std::unique_lock lock(mutex_);
    if (reading_) {
        // The reader thread hands the reply over.
        callLock.unlock();
        waiting_.emplace(request.Id, std::nullopt);
        lock.unlock();
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        const bool sent = Write(*frame, timeout);
        lock.lock();
        auto& slot = waiting_[request.Id];
        if (sent) replied_.wait_until(lock, deadline, [&] { return slot.has_value() || broken_; });
        TCallResult result =
            slot.value_or(TCallResult{sent && !broken_ ? TCallOutcome::TimedOut : TCallOutcome::Disconnected, {}});
        waiting_.erase(request.Id);
        return result;
    }
    lock.unlock();

    const ULONGLONG deadline = ::GetTickCount64() + Milliseconds(timeout);
    if (!Write(*frame, timeout)) return {TCallOutcome::Disconnected, {}};
    for (;;) {
        while (!frames_.empty()) {
            const std::string payloadIn = std::move(frames_.front());
            frames_.pop_front();
            TDecoded decoded = Decode(payloadIn, TReader::Face);
            if (!decoded.Message) return {TCallOutcome::BadReply, {}};
            if (decoded.Message->Id == request.Id) return {TCallOutcome::Replied, std::move(*decoded.Message)};
            // A report is kept; a late reply to an earlier Call that timed out is not.
            if (decoded.Message->Id == 0) {
                const std::lock_guard keep(mutex_);
                reports_.push_back(std::move(*decoded.Message));
            }
        }
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) return {TCallOutcome::TimedOut, {}};
        bool timedOut = false;
        if (!ReadSome(static_cast<DWORD>(deadline - now), timedOut)) {
            const std::lock_guard state(mutex_);
            broken_ = true;
            return {TCallOutcome::Disconnected, {}};
        }
        if (timedOut && frames_.empty()) return {TCallOutcome::TimedOut, {}};
    }
}

std::optional<std::uint32_t> TPipeClient::Post(TMessage request, std::chrono::milliseconds timeout) {
    request.Id = NextId();
    const auto payload = Encode(request);
    const auto frame = payload ? Frame(*payload) : std::nullopt;
    if (!frame || !Write(*frame, timeout)) return std::nullopt;
    return request.Id;
}

std::vector<TMessage> TPipeClient::TakeReports() {
    const std::lock_guard lock(mutex_);
    std::vector<TMessage> reports(std::make_move_iterator(reports_.begin()), std::make_move_iterator(reports_.end()));
    reports_.clear();
    return reports;
}

void TPipeClient::StartReading(std::function<void(TMessage)> onMessage, std::function<void()> onEnded) {
    // No Call reads any more once this holds the lock.
    const std::lock_guard callLock(callMutex_);
    const std::lock_guard lock(mutex_);
    if (reading_) return;
    reading_ = true;
    onMessage_ = std::move(onMessage);
    onEnded_ = std::move(onEnded);
    thread_ = std::thread([this] { ReaderLoop(); });
}

void TPipeClient::ReaderLoop() {
    SetCurrentThreadName(u"Dockvane face pipe");
    for (TMessage& report : TakeReports()) {
        if (onMessage_) onMessage_(std::move(report));
    }
    bool ended = false;
    while (!ended) {
        while (!frames_.empty()) {
            const std::string payload = std::move(frames_.front());
            frames_.pop_front();
            TDecoded decoded = Decode(payload, TReader::Face);
            if (!decoded.Message) {
                // Whatever sent it is not a working engine: nothing more from it is believed.
                ended = true;
                break;
            }
            {
                const std::lock_guard lock(mutex_);
                const auto found = decoded.Message->Id == 0 ? waiting_.end() : waiting_.find(decoded.Message->Id);
                if (found != waiting_.end()) {
                    found->second = TCallResult{TCallOutcome::Replied, std::move(*decoded.Message)};
                    replied_.notify_all();
                    continue;
                }
            }
            if (onMessage_) onMessage_(std::move(*decoded.Message));
        }
        if (ended) break;
        OVERLAPPED overlapped{};
        overlapped.hEvent = readEvent_.get();
        ::ResetEvent(readEvent_.get());
        if (!::ReadFile(pipe_.get(), buffer_.data(), static_cast<DWORD>(buffer_.size()), nullptr, &overlapped) &&
            ::GetLastError() != ERROR_IO_PENDING) {
            break;
        }
        const std::array<HANDLE, 2> events{readEvent_.get(), stopEvent_.get()};
        const DWORD wait = ::WaitForMultipleObjects(events.size(), events.data(), FALSE, INFINITE);
        if (wait != WAIT_OBJECT_0) ::CancelIoEx(pipe_.get(), &overlapped);
        DWORD bytes = 0;
        const bool ok = ::GetOverlappedResult(pipe_.get(), &overlapped, &bytes, TRUE) != FALSE;
        if (wait != WAIT_OBJECT_0) return;  // destroyed: no callback
        if (!ok) break;
        std::vector<std::string> frames;
        if (!reader_.Feed(std::string_view(buffer_.data(), bytes), frames)) break;
        for (std::string& frame : frames) frames_.push_back(std::move(frame));
    }
    EndReading();
}

void TPipeClient::EndReading() {
    {
        const std::lock_guard lock(mutex_);
        broken_ = true;
        replied_.notify_all();
    }
    if (onEnded_) onEnded_();
}

}  // namespace dv::remote
