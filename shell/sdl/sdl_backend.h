#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <system_error>

#include "source_image.h"
#include "startup_messages.h"

// The SDL backend's picture reader (BMP, PNG, JPEG), also used by the offline renderer; needs
// no display.
LoadResult LoadSourceImage(const std::filesystem::path& fileName);

// The same reader on a file's bytes held in memory, with the smallest side
// it accepts (tests and the fuzz target let small pictures through).
LoadResult LoadSourceImageFromBytes(const std::uint8_t* bytes, std::size_t size,
                                    std::int64_t minSide = kMinPictureSide);
