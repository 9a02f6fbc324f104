// A face's end of the pipe, and dockvane-cli's. Whatever holds the pipe's name is hostile until it
// shows it is the service: the pipe must be owned by LocalSystem or Administrators, an owner that a
// standard user cannot give an object, and everything it sends is decoded as untrusted.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/handles_win.h"
#include "platform/windows_include.h"
#include "remote/frames.h"
#include "remote/protocol.h"

namespace dv::remote {

enum class TConnectFailure {
    None,
    NotRunning,     // no pipe of that name: the engine is not running
    TimedOut,       // every instance stayed busy
    NotTheService,  // the pipe's owner is neither LocalSystem nor Administrators
    Failed,         // another error; see the code
};

class TPipeClient;

struct TConnectResult {
    std::unique_ptr<TPipeClient> Client;  // set when connected
    TConnectFailure Failure = TConnectFailure::None;
    std::uint32_t Error = 0;  // the system's code of a failure, where there is one
};

enum class TCallOutcome {
    Replied,
    Unsendable,    // the request breaks a bound of the protocol
    Disconnected,  // the pipe closed (or a write failed) before the reply
    TimedOut,
    BadReply,  // the engine sent what does not decode
};

struct TCallResult {
    TCallOutcome Outcome = TCallOutcome::Disconnected;
    TMessage Reply;  // with the request's id, when Replied
};

class TPipeClient {
public:
    // Connects to the pipe within `timeout`, as a client that the server may identify but not act as.
    static TConnectResult Connect(std::wstring_view name, std::chrono::milliseconds timeout);

    // Ends the reader, if it runs, without calling its callbacks.
    ~TPipeClient();
    TPipeClient(const TPipeClient&) = delete;
    TPipeClient& operator=(const TPipeClient&) = delete;

    // Sends `request` under an id of the client's own and waits for the reply with that id. Reports
    // that arrive meanwhile are kept for TakeReports, or handed to the reader's callback once it runs.
    TCallResult Call(TMessage request, std::chrono::milliseconds timeout);
    // Sends `request` under an id of the client's own and returns that id, or nothing when it could not
    // be sent; its reply reaches the reader's callback like any message.
    std::optional<std::uint32_t> Post(TMessage request, std::chrono::milliseconds timeout);
    // The reports kept while no reader ran, oldest first.
    std::vector<TMessage> TakeReports();

    // From now on a thread of the client reads: every message that answers no Call goes to
    // `onMessage` (reports kept until now first), and `onEnded` runs once when the pipe closes or
    // the engine sends what does not decode. Both run on that thread. Called once.
    void StartReading(std::function<void(TMessage)> onMessage, std::function<void()> onEnded);

private:
    explicit TPipeClient(UniqueFileHandle pipe);

    std::uint32_t NextId();
    bool Write(const std::string& frame, std::chrono::milliseconds timeout);
    // One read into the frames waiting; false when the pipe has closed or the time is up (`timedOut`).
    bool ReadSome(DWORD timeoutMs, bool& timedOut);
    void ReaderLoop();
    void EndReading();

    UniqueFileHandle pipe_;
    UniqueKernelHandle readEvent_;
    UniqueKernelHandle writeEvent_;
    UniqueKernelHandle stopEvent_;
    std::mutex writeMutex_;
    std::mutex callMutex_;  // one Call at a time reads while no reader runs

    std::mutex mutex_;
    std::condition_variable replied_;
    std::uint32_t lastId_ = 0;
    bool broken_ = false;
    bool reading_ = false;
    // The Calls waiting while the reader runs: their id, and the outcome once it came.
    std::map<std::uint32_t, std::optional<TCallResult>> waiting_;
    std::deque<TMessage> reports_;

    // The reading side: the Call that reads, or the reader thread.
    TFrameReader reader_;
    std::deque<std::string> frames_;
    std::vector<char> buffer_;

    std::function<void(TMessage)> onMessage_;
    std::function<void()> onEnded_;
    std::thread thread_;
};

}  // namespace dv::remote
