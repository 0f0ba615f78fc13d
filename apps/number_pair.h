#pragma once

#include <charconv>
#include <cstdint>
#include <string_view>
#include <type_traits>

// Parses "<a><separator><b>" of two decimal numbers, each of magnitude at
// most limit and, for a signed T, perhaps with a minus sign; nothing else
// may be in the text.
template <typename T>
inline bool ParsePair(std::string_view text, char separator, std::uint32_t limit, T* a, T* b) {
  const std::size_t split = text.find(separator);
  if (split == std::string_view::npos) return false;
  const auto parse = [limit](std::string_view part, T* value) {
    const bool negative = std::is_signed_v<T> && part.starts_with('-');
    if (negative) part.remove_prefix(1);
    std::uint32_t magnitude = 0;
    if (part.empty() || part.front() < '0' || part.front() > '9') return false;
    const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), magnitude);
    if (error != std::errc{} || end != part.data() + part.size() || magnitude > limit) return false;
    *value = negative ? static_cast<T>(0 - static_cast<std::int64_t>(magnitude)) : static_cast<T>(magnitude);
    return true;
  };
  return parse(text.substr(0, split), a) && parse(text.substr(split + 1), b);
}
