#pragma once

// Frames written to files: the viewer's S key and glintor-render's output.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

// A platform's PNG encoder (each backend has one): packed B, G, R rows,
// bottom row first, as a 24-bit PNG. False on any failure, which may leave
// a partial file: callers write through WriteThroughTemporary.
using PngWriter = bool (*)(const std::filesystem::path& file, std::uint32_t width,
                           std::uint32_t height, const std::uint8_t* bgrRows);

enum class WriteOutcome { Written, Exists, Failed };

// Lets `write` fill a temporary file beside `target`, then gives it the
// target's name, so that nothing half-written ever bears either name. With
// replace false an existing target is kept (Exists) and nothing is written.
// The temporary is gone afterwards whatever happened.
WriteOutcome WriteThroughTemporary(const std::filesystem::path& target, bool replace,
                                   const std::function<bool(const std::filesystem::path&)>& write);

// A path as UTF-8 text, for messages.
std::string DisplayName(const std::filesystem::path& path);

// Where the viewer saves the frame shown for `picture`: beside it,
// "<name>-<mode>-<column>-<row>.png", and for the n-th such file (n >= 2)
// "<name>-<mode>-<column>-<row>-<n>.png".
std::filesystem::path SavedFrameName(const std::filesystem::path& picture, std::string_view mode,
                                     std::uint32_t column, std::uint32_t row, unsigned n = 1);
