#include "progress_watchdog.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace {

std::mutex mutex;
std::condition_variable woken;
bool progressed = false, stopping = false;
std::string runningTest = "the test program";

class Watchdog final : public ::testing::EmptyTestEventListener {
  void OnTestProgramStart(const ::testing::UnitTest&) override { watcher_ = std::thread(Watch); }
  void OnTestStart(const ::testing::TestInfo& test) override {
    const std::lock_guard lock(mutex);
    runningTest = std::string(test.test_suite_name()) + "." + test.name();
  }
  void OnTestEnd(const ::testing::TestInfo&) override { MadeProgress(); }
  void OnTestProgramEnd(const ::testing::UnitTest&) override {
    {
      const std::lock_guard lock(mutex);
      stopping = true;
    }
    woken.notify_one();
    if (watcher_.joinable()) watcher_.join();
  }

  static void Watch() {
    std::unique_lock lock(mutex);
    while (!stopping) {
      if (!woken.wait_for(lock, std::chrono::seconds(kSecondsWithoutProgress),
                          [] { return progressed || stopping; })) {
        std::fprintf(stderr, "%s made no progress for %d s: it hangs.\n", runningTest.c_str(),
                     kSecondsWithoutProgress);
        std::fflush(stderr);
        std::abort();
      }
      progressed = false;
    }
  }

  std::thread watcher_;
};

[[maybe_unused]] const bool installed = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new Watchdog);
  return true;
}();

}  // namespace

void MadeProgress() {
  {
    const std::lock_guard lock(mutex);
    progressed = true;
  }
  woken.notify_one();
}
