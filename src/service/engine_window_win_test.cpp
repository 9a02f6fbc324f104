#include "service/engine_window_win.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace dv {
namespace {

// Ends a loop that would otherwise hang, so that the test fails instead (a generous bound).
class HangGuard {
public:
    explicit HangGuard(DWORD threadId)
        : thread_([this, threadId] {
              for (int tick = 0; tick < 300 && !done_; ++tick)
                  std::this_thread::sleep_for(std::chrono::milliseconds(100));
              if (!done_) {
                  fired_ = true;
                  ::PostThreadMessageW(threadId, WM_QUIT, 0, 0);
              }
          }) {}
    ~HangGuard() {
        done_ = true;
        thread_.join();
    }
    bool Fired() const { return fired_; }

private:
    std::atomic<bool> done_ = false;
    std::atomic<bool> fired_ = false;
    std::thread thread_;
};

TEST(TEngineWindow, WorkPostedFromAnotherThreadRunsOnTheWindowsThreadInOrderBeforeTheStop) {
    TEngineWindow window;
    ASSERT_NE(window.Handle(), nullptr);
    std::vector<int> ran;
    bool allOnThisThread = true;
    const DWORD self = ::GetCurrentThreadId();
    std::thread poster([&] {
        for (int i = 0; i < 5; ++i) {
            window.Post([&, i] {
                ran.push_back(i);
                allOnThisThread = allOnThisThread && ::GetCurrentThreadId() == self;
            });
        }
        window.RequestStop();
    });
    poster.join();
    HangGuard guard(self);
    window.RunMessageLoop();
    EXPECT_FALSE(guard.Fired());
    EXPECT_EQ(ran, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_TRUE(allOnThisThread);
}

TEST(TEngineWindow, AStopThatArrivesWhileAHandlerLetsMessagesThroughEndsTheLoopAfterIt) {
    TEngineWindow window;
    ASSERT_NE(window.Handle(), nullptr);
    std::vector<std::string> steps;
    window.Post([&] {
        steps.push_back("first begins");
        window.RequestStop();
        // The stop comes in here, after the work queued before it; the handler goes on to its end.
        window.ProcessPendingMessages();
        window.ProcessPendingMessages();
        steps.push_back("first ends");
    });
    window.Post([&] { steps.push_back("second"); });
    HangGuard guard(::GetCurrentThreadId());
    window.RunMessageLoop();
    EXPECT_FALSE(guard.Fired()) << "the stop was lost in the handler's pump";
    EXPECT_EQ(steps, (std::vector<std::string>{"first begins", "second", "first ends"}));
}

TEST(TEngineWindow, AnErrorInPostedWorkLeavesTheLoopRunning) {
    TEngineWindow window;
    ASSERT_NE(window.Handle(), nullptr);
    bool after = false;
    window.Post([] { throw std::runtime_error("posted work failed"); });
    window.Post([&] { after = true; });
    window.RequestStop();
    HangGuard guard(::GetCurrentThreadId());
    window.RunMessageLoop();
    EXPECT_FALSE(guard.Fired());
    EXPECT_TRUE(after);
}

}  // namespace
}  // namespace dv
