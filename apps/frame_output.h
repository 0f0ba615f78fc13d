#pragma once

// The files glintor-render writes: OUTPUT and the --frames files.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "frame_pattern.h"

enum class ImageKind { Png, Bmp };

// Chosen by the name's extension, in any case.
std::optional<ImageKind> KindOfName(std::string_view name);

// Empty unless a file to be written (the output, the first frameCount
// frames) is the input picture, whatever the spelling of either or the
// links between them; else the problem.
std::string InputOverwritten(const std::string& input, const std::optional<std::string>& output,
                             const std::optional<FramePattern>& frames, std::size_t frameCount);

// Writes the scene's frame through a temporary (see WriteThroughTemporary).
bool WriteFrame(const std::string& name, ImageKind kind, std::error_code& reason);
