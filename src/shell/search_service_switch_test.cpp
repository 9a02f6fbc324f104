#include "shell/search_service_switch.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace dv {
namespace {

// The service as the workers see it: each request waits until the test lets it through, and what
// was done, by how many workers at once, is recorded.
class SlowService {
public:
    void Apply(bool stop) {
        std::unique_lock lock(mutex_);
        ++busy_;
        if (busy_ > mostAtOnce_) mostAtOnce_ = busy_;
        ++waiting_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return released_ > 0; });
        --released_;
        --waiting_;
        done_ += stop ? "stop " : "start ";
        --busy_;
        changed_.notify_all();
    }
    // Returns once a request waits to be let through.
    void WaitUntilOneIsUnderWay() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return waiting_ > 0; });
    }
    // Lets `count` requests through, once they are there.
    void Release(int count) {
        std::unique_lock lock(mutex_);
        for (int i = 0; i < count; ++i) {
            changed_.wait(lock, [this] { return waiting_ > 0; });
            ++released_;
            changed_.notify_all();
            changed_.wait(lock, [this] { return released_ == 0; });
        }
    }
    std::string Done() {
        std::lock_guard lock(mutex_);
        return done_;
    }
    int MostAtOnce() {
        std::lock_guard lock(mutex_);
        return mostAtOnce_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int busy_ = 0;
    int mostAtOnce_ = 0;
    int waiting_ = 0;
    int released_ = 0;
    std::string done_;
};

// Workers as threads the test joins at its end.
struct Workers {
    std::vector<std::thread> threads;
    bool drop = false;  // no thread can be made
    void Start(std::function<void()> work) {
        if (drop) return;
        threads.emplace_back(std::move(work));
    }
    void JoinAll() {
        for (std::thread& thread : threads) thread.join();
        threads.clear();
    }
};

TEST(SearchServiceSwitch, RequestsThatComeWhileTheServiceIsOnItsWayAreCarriedOutInOrderByOneWorker) {
    const struct {
        const char* what;
        std::vector<bool> asked;  // true: stop; the first one is under way while the others come
        int requestsCarriedOut;
        std::string done;
    } cases[] = {
        {"a drive shared, then none", {true, false}, 2, "stop start "},
        {"a drive left and another shared at once", {false, true}, 2, "start stop "},
        {"only the last of those that waited counts", {true, false, true, false}, 2, "stop start "},
        {"the same again waited for", {true, false, true}, 2, "stop stop "},
        {"one request", {false}, 1, "start "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SlowService service;
        Workers workers;
        TSearchServiceSwitch searchSwitch([&service](bool stop) { service.Apply(stop); },
                                          [&workers](std::function<void()> work) { workers.Start(std::move(work)); });
        searchSwitch.Want(c.asked.front());
        service.WaitUntilOneIsUnderWay();
        for (std::size_t i = 1; i < c.asked.size(); ++i) searchSwitch.Want(c.asked[i]);
        EXPECT_EQ(workers.threads.size(), 1u);
        service.Release(c.requestsCarriedOut);
        workers.JoinAll();
        EXPECT_EQ(service.Done(), c.done);
        EXPECT_EQ(service.MostAtOnce(), 1);
    }
}

TEST(SearchServiceSwitch, AfterItsWorkerEndedOrWasNeverMadeTheNextRequestStartsAnother) {
    SlowService service;
    Workers workers;
    TSearchServiceSwitch searchSwitch([&service](bool stop) { service.Apply(stop); },
                                      [&workers](std::function<void()> work) { workers.Start(std::move(work)); });
    searchSwitch.Want(true);
    service.Release(1);
    workers.JoinAll();

    // No thread could be made: the request is lost, but the next one is not.
    workers.drop = true;
    searchSwitch.Want(false);
    workers.drop = false;
    searchSwitch.Want(false);
    ASSERT_EQ(workers.threads.size(), 1u);
    service.Release(1);
    workers.JoinAll();
    EXPECT_EQ(service.Done(), "stop start ");
}

}  // namespace
}  // namespace dv
