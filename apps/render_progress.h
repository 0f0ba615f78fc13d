#pragma once

// glintor-render's progress line on a terminal's stderr.

#include <chrono>
#include <cstddef>
#include <string>

// One line, redrawn in place a few times a second: frames done, speed and
// time left.
class Progress {
 public:
  Progress(std::size_t total, bool shown) : total_(total), shown_(shown) {}

  void FrameDone();

  // Before anything else is printed on the terminal, and at the end.
  void Clear() {
    if (width_ > 0) Draw("");
  }

 private:
  using Clock = std::chrono::steady_clock;

  void Draw(const std::string& text);

  std::size_t total_, done_ = 0, width_ = 0;
  bool shown_;
  Clock::time_point start_ = Clock::now(), drawn_ = start_;
};
