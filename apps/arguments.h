#pragma once

#include <charconv>
#include <cstdint>
#include <string_view>

// Parses "<a><separator><b>" of two decimal numbers, each at most limit;
// nothing else may be in the text.
inline bool ParsePair(std::string_view text, char separator, std::uint32_t limit,
                      std::uint32_t* a, std::uint32_t* b) {
  const std::size_t split = text.find(separator);
  if (split == std::string_view::npos) return false;
  const auto parse = [limit](std::string_view part, std::uint32_t* value) {
    if (part.empty() || part.front() < '0' || part.front() > '9') return false;
    const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), *value);
    return error == std::errc{} && end == part.data() + part.size() && *value <= limit;
  };
  return parse(text.substr(0, split), a) && parse(text.substr(split + 1), b);
}

// Parses "<a><separator><b>" of two decimal numbers, each perhaps with a
// minus sign, each of magnitude at most limit; nothing else may be in the
// text.
inline bool ParseSignedPair(std::string_view text, char separator, std::int32_t limit, std::int32_t* a,
                            std::int32_t* b) {
  const std::size_t split = text.find(separator);
  if (split == std::string_view::npos) return false;
  const auto parse = [limit](std::string_view part, std::int32_t* value) {
    const bool negative = part.starts_with('-');
    if (negative) part.remove_prefix(1);
    std::uint32_t magnitude = 0;
    if (part.empty() || part.front() < '0' || part.front() > '9') return false;
    const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), magnitude);
    if (error != std::errc{} || end != part.data() + part.size() || magnitude > static_cast<std::uint32_t>(limit))
      return false;
    *value = negative ? -static_cast<std::int32_t>(magnitude) : static_cast<std::int32_t>(magnitude);
    return true;
  };
  return parse(text.substr(0, split), a) && parse(text.substr(split + 1), b);
}
