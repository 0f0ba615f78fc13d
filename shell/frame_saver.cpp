#include "frame_saver.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

#include "available_memory.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Job {
  std::unique_ptr<std::uint8_t[]> pixels;
  std::uint16_t width, height;
  fs::path picture;
  std::string mode;
  std::int32_t column, row;
};

PngWriter writer = nullptr;
void (*wakeMainThread)() = nullptr;
std::thread worker;

// Shared by the worker and the main thread.
std::mutex mutex;
std::condition_variable jobQueued;
std::deque<Job> jobs;
bool writing = false;  // a job taken from the queue and not yet done
bool stopping = false;
bool abandoning = false;
SaveNews news;
Clock::time_point outcomeTime;
std::string unshownFailure;

void Publish(SaveNews::State state, const fs::path& target, const std::string& reason = {},
             const std::string& failure = {}) {
  {
    const std::lock_guard lock(mutex);
    news = {state, DisplayName(target.filename()), reason};
    outcomeTime = Clock::now();
    if (!failure.empty()) unshownFailure = failure;
  }
  if (wakeMainThread != nullptr) wakeMainThread();
}

bool Abandoning() {
  const std::lock_guard lock(mutex);
  return abandoning;
}

void Fail(const fs::path& target, const std::string& reason) {
  if (Abandoning()) return;
  const std::string message = target.empty()
                                  ? "The frame could not be saved: " + reason + "."
                                  : "The frame could not be saved to " + DisplayName(target) + ": " + reason + ".";
  std::fprintf(stderr, "%s\n", message.c_str());
  std::fflush(stderr);
  Publish(SaveNews::State::Failed, target, reason, message);
}

void Write(const Job& job) {
  const auto write = [&job](const fs::path& file, std::error_code& reason) {
    return writer(file, job.width, job.height, job.pixels.get(), reason);
  };
  // Far more tries than any folder holds frames of one light.
  for (unsigned n = 1; n <= 100000; ++n) {
    const fs::path target = SavedFrameName(job.picture, job.mode, job.column, job.row, n);
    // Named before it waits, so that the title can tell it; naming the
    // file checks again, in one step with the writing.
    std::error_code error;
    if (fs::exists(target, error) || fs::is_symlink(target, error)) continue;
    Publish(SaveNews::State::Saving, target);
    WaitAtWriteGate(Abandoning);
    if (Abandoning()) return;
    std::error_code reason;
    const WriteOutcome outcome = WriteThroughTemporary(target, false, write, reason);
    if (outcome == WriteOutcome::Exists) continue;
    if (outcome == WriteOutcome::Failed) return Fail(target, ReasonText(reason));
    std::printf("%s\n", DisplayName(target).c_str());
    std::fflush(stdout);
    return Publish(SaveNews::State::Saved, target);
  }
  Fail({}, "too many frames of this light");
}

void WriteQueuedJobs() {
  std::unique_lock lock(mutex);
  for (;;) {
    jobQueued.wait(lock, [] { return !jobs.empty() || stopping; });
    if (jobs.empty() || abandoning) return;
    const Job job = std::move(jobs.front());
    jobs.pop_front();
    writing = true;
    lock.unlock();
    Write(job);
    lock.lock();
    writing = false;
    // Saving() has changed: a close put off may go ahead.
    lock.unlock();
    if (wakeMainThread != nullptr) wakeMainThread();
    lock.lock();
  }
}

}  // namespace

void StartSaver(PngWriter writePng, void (*wake)()) {
  writer = writePng;
  wakeMainThread = wake;
  stopping = abandoning = false;
  try {
    worker = std::thread(WriteQueuedJobs);
  } catch (const std::system_error&) {
    // Saves are written as they are asked for.
  }
}

void QueueSave(const fs::path& picture, const char* mode, const std::uint8_t* frame, std::uint16_t width,
               std::uint16_t height, std::int32_t column, std::int32_t row) {
  const std::size_t bytes = std::size_t{width} * height * 3;
  Job job{nullptr, width, height, picture, mode, column, row};
  if (bytes <= AvailableMemoryBytes()) job.pixels.reset(new (std::nothrow) std::uint8_t[bytes]);
  if (job.pixels == nullptr) {
    return Fail(SavedFrameName(picture, mode, column, row),
                ReasonText(std::make_error_code(std::errc::not_enough_memory)));
  }
  std::copy(frame, frame + bytes, job.pixels.get());
  if (!worker.joinable()) return Write(job);
  {
    const std::lock_guard lock(mutex);
    jobs.push_back(std::move(job));
  }
  jobQueued.notify_one();
}

bool Saving() {
  const std::lock_guard lock(mutex);
  return writing || !jobs.empty();
}

SaveNews SaverNews() {
  const std::lock_guard lock(mutex);
  const bool ended = news.state == SaveNews::State::Saved || news.state == SaveNews::State::Failed;
  if (ended && Clock::now() - outcomeTime >= std::chrono::milliseconds(kSaveOutcomeShownMilliseconds)) {
    news = {};
  }
  return news;
}

std::string TakeUnshownFailure() {
  const std::lock_guard lock(mutex);
  return std::exchange(unshownFailure, {});
}

void StopSaver(bool abandon) {
  {
    const std::lock_guard lock(mutex);
    stopping = true;
    abandoning = abandon;
    if (abandon) jobs.clear();
  }
  jobQueued.notify_one();
  if (worker.joinable()) worker.join();
  const std::lock_guard lock(mutex);
  news = {};
  unshownFailure.clear();
}
