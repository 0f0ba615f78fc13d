#pragma once

// The names of the files --frames writes.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// A --frames pattern split around its one number field.
struct FramePattern {
  std::string before, after;
  std::size_t width = 0;  // zero-padded to this many digits

  std::string Name(std::size_t number) const;
};

// Accepts exactly one %d or %0Nd field, and %% for a percent sign; else
// sets the problem, naming --frames.
std::optional<FramePattern> ParseFramePattern(std::string_view text, std::string* problem);
