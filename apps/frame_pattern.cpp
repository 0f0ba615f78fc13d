#include "frame_pattern.h"

#include <charconv>
#include <system_error>

std::string FramePattern::Name(std::size_t number) const {
  const std::string digits = std::to_string(number);
  return before + std::string(width > digits.size() ? width - digits.size() : 0, '0') + digits + after;
}

// Formatted by hand: the pattern is user input and never reaches printf.
std::optional<FramePattern> ParseFramePattern(std::string_view text, std::string* problem) {
  FramePattern pattern;
  bool haveField = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::string& out = haveField ? pattern.after : pattern.before;
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    std::size_t end = i + 1;
    std::size_t width = 0;
    if (end < text.size() && text[end] == '0') {
      const std::size_t digits = ++end;
      while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
      // More digits than any frame number has would only waste memory.
      if (std::from_chars(text.data() + digits, text.data() + end, width).ec != std::errc{} ||
          width == 0 || width > 20) {
        *problem = "--frames: the field width must be 1 to 20 digits: %01d to %020d";
        return std::nullopt;
      }
    }
    if (end == text.size() || text[end] != 'd') {
      *problem = "--frames: only %d, %0Nd and %% may follow a percent sign";
      return std::nullopt;
    }
    if (haveField) {
      *problem = "--frames: the pattern needs exactly one %d or %0Nd field, not two";
      return std::nullopt;
    }
    haveField = true;
    pattern.width = width;
    i = end;
  }
  if (!haveField) {
    *problem = "--frames: the pattern needs one %d or %0Nd field for the frame number";
    return std::nullopt;
  }
  return pattern;
}
