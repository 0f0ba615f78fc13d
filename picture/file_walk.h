#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "picture_file.h"

// Reads a file front to back through a buffer, so that walking a file of
// many small chunks or fill bytes costs no call per byte.
class FileWalk {
 public:
  FileWalk(const ReadAt& read, std::uint64_t fileSize, std::uint64_t at)
      : read_(read), fileSize_(fileSize), at_(at) {}

  std::uint64_t Position() const { return at_; }
  std::uint64_t Left() const { return at_ < fileSize_ ? fileSize_ - at_ : 0; }

  // False at the end of the file.
  bool Next(std::uint8_t* byte) {
    if (next_ == end_ && !Fill()) return false;
    *byte = buffer_[next_++];
    ++at_;
    return true;
  }

  bool Read(std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      if (!Next(bytes + i)) return false;
    }
    return true;
  }

  // Hands the next `count` bytes to `take(bytes, size)`, a buffer at a
  // time; false if the file ends first.
  template <typename Take>
  bool Pass(std::uint64_t count, Take&& take) {
    if (count > Left()) return false;
    while (count > 0) {
      if (next_ == end_ && !Fill()) return false;
      const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(count, end_ - next_));
      take(buffer_.data() + next_, piece);
      next_ += piece;
      at_ += piece;
      count -= piece;
    }
    return true;
  }

  // False if the file ends first.
  bool Skip(std::uint64_t count) {
    if (count > Left()) return false;
    const std::uint64_t inBuffer = std::min<std::uint64_t>(count, end_ - next_);
    next_ += static_cast<std::size_t>(inBuffer);
    if (inBuffer < count) next_ = end_ = 0;  // the rest lies beyond the buffer
    at_ += count;
    return true;
  }

  // Steps back over bytes just read.
  void Unread(std::size_t count) {
    next_ -= count;
    at_ -= count;
  }

 private:
  bool Fill() {
    // Kept: a byte just read may be stepped back over.
    if (end_ > 0) {
      buffer_[0] = buffer_[end_ - 1];
      next_ = end_ = 1;
    }
    const std::size_t got = Left() == 0 ? 0 : read_(at_, buffer_.data() + end_, buffer_.size() - end_);
    end_ += got;
    return got > 0;
  }

  const ReadAt& read_;
  std::uint64_t fileSize_, at_;
  std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(std::size_t{1} << 16);
  std::size_t next_ = 0, end_ = 0;
};

