#include "shell/search_service_switch.h"

#include <utility>

namespace dv {

TSearchServiceSwitch::TSearchServiceSwitch(TApply apply, TStartWorker startWorker)
    : state_(std::make_shared<TState>()), startWorker_(std::move(startWorker)) {
    state_->apply = std::move(apply);
}

void TSearchServiceSwitch::Want(bool stop) {
    std::uint64_t worker = 0;
    {
        std::lock_guard lock(state_->mutex);
        state_->wanted = stop;
        if (state_->worker != 0) return;  // the worker there takes it
        worker = state_->worker = ++state_->lastWorker;
    }
    // The worker's ticket: when its task ends, or is dropped without running, the switch has no
    // worker any more, unless another one has taken over meanwhile.
    std::shared_ptr<void> ticket(nullptr, [state = state_, worker](void*) {
        std::lock_guard lock(state->mutex);
        if (state->worker == worker) state->worker = 0;
    });
    startWorker_([state = state_, worker, ticket = std::move(ticket)] { Work(state, worker); });
}

void TSearchServiceSwitch::Work(const std::shared_ptr<TState>& state, std::uint64_t worker) {
    for (;;) {
        bool stop = false;
        {
            std::lock_guard lock(state->mutex);
            if (state->worker != worker) return;
            if (!state->wanted) {
                state->worker = 0;
                return;
            }
            stop = *std::exchange(state->wanted, std::nullopt);
        }
        try {
            state->apply(stop);
        } catch (...) {
            // The service stays as it is; the next request tries again.
        }
    }
}

}  // namespace dv
