#pragma once

// Frames written to files: the viewer's S key and glintor-render's output.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>

// A PNG encoder (png_encoder.h's, the same on every platform): packed B,
// G, R rows, bottom row first, as a 24-bit PNG. False on any failure, with
// the system's reason in `reason`; it may leave a partial file: callers
// write through WriteThroughTemporary.
using PngWriter = bool (*)(const std::filesystem::path& file, std::uint32_t width,
                           std::uint32_t height, const std::uint8_t* bgrRows,
                           std::error_code& reason);

enum class WriteOutcome { Written, Exists, Failed };

// Lets `write` fill a temporary file beside `target`, then gives it the
// target's name, so that nothing half-written ever bears either name. With
// replace false an existing target is kept (Exists) and nothing is written.
// The temporary is gone afterwards whatever happened, also when SIGINT or
// SIGTERM ends the program meanwhile. Failed sets `reason`.
WriteOutcome WriteThroughTemporary(
    const std::filesystem::path& target, bool replace,
    const std::function<bool(const std::filesystem::path&, std::error_code&)>& write,
    std::error_code& reason);

// The tests hold writes at a gate, to see what the programs do meanwhile:
// while the file named by GLINTOR_WRITE_GATE exists, WriteThroughTemporary
// waits with its temporary written but not yet named, and so does a
// viewer's save before it begins, unless `giveUp` says to go on.
void WaitAtWriteGate(bool (*giveUp)() = nullptr);

// The errno of the C library call that just failed (EIO if it set none).
std::error_code ErrnoReason();

// A failure's reason as the system words it, for messages: "Permission
// denied".
std::string ReasonText(const std::error_code& reason);

// A path as UTF-8 text, for messages.
std::string DisplayName(const std::filesystem::path& path);

// Where the viewer saves the frame shown for `picture`: beside it,
// "<name>-<mode>-<column>-<row>.png", and for the n-th such file (n >= 2)
// "<name>-<mode>-<column>-<row>-<n>.png". A light outside the picture may
// have a negative column or row, written with its minus sign after the
// separating one: "-40,213" gives "<name>-<mode>--40-213.png".
std::filesystem::path SavedFrameName(const std::filesystem::path& picture, std::string_view mode,
                                     std::int32_t column, std::int32_t row, unsigned n = 1);
