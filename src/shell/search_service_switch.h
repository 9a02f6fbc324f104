// The search service is stopped while a drive is shared and started again once none is, each on a
// worker, since the service manager may take seconds to get a service there. Requests come faster
// than the service follows (a drive leaves and another is shared at once): workers of their own
// would race, and the one that ends last would decide. Here one worker at a time carries the
// requests out, in order, and the service ends in the state asked for last.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace dv {

class TSearchServiceSwitch {
public:
    // Brings the service to the state (stopped or running) and returns once it got there or gave up;
    // runs on a worker.
    using TApply = std::function<void(bool stop)>;
    // Runs the work on a worker of its own, or drops it (no thread could be made).
    using TStartWorker = std::function<void(std::function<void()>)>;

    TSearchServiceSwitch(TApply apply, TStartWorker startWorker);

    // From the engine's thread: the service is to be stopped (true) or running (false). A worker that
    // runs already takes it after what it is doing; otherwise one is started.
    void Want(bool stop);

private:
    struct TState {
        std::mutex mutex;
        std::optional<bool> wanted;  // what is still to be done
        std::uint64_t worker = 0;    // the worker that carries the requests out now; 0: none
        std::uint64_t lastWorker = 0;
        TApply apply;
    };
    static void Work(const std::shared_ptr<TState>& state, std::uint64_t worker);

    std::shared_ptr<TState> state_;
    TStartWorker startWorker_;
};

}  // namespace dv
