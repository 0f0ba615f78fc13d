#pragma once

// What a PNG or JPEG file says beside its pixels that changes how they are
// to be seen: the orientation a camera or phone recorded, and the colour
// profile the values are in. Both come from untrusted bytes: anything
// malformed, out of range or too large counts as absent, and the picture
// loads as stored.

#include <cstddef>
#include <cstdint>
#include <vector>

// EXIF's orientation values: how the stored picture must be turned or
// mirrored to be upright. 5 and 7 mirror across a diagonal.
enum Orientation : unsigned {
  kAsStored = 1,
  kMirrorLeftRight = 2,
  kTurn180 = 3,
  kMirrorTopBottom = 4,
  kTranspose = 5,
  kTurnClockwise = 6,
  kTransverse = 7,
  kTurnCounterClockwise = 8,
};

// Tag 274 of the first image directory of the TIFF structure that follows
// "Exif\0\0" in a JPEG's APP1 segment or makes up a PNG's eXIf chunk.
// kAsStored when it is absent or anything about it is malformed.
Orientation ExifOrientation(const std::uint8_t* tiff, std::size_t size);

// An ICC profile's bytes as the file holds them, or a PNG's sRGB chunk,
// for the PNGs written from the picture to carry on.
struct ColourProfile {
  std::vector<std::uint8_t> icc;
  bool srgb = false;
  std::uint8_t renderingIntent = 0;  // of the sRGB chunk, 0 to 3

  bool Empty() const { return icc.empty() && !srgb; }
};

// Larger profiles are left out: real ones are at most a few hundred kB.
inline constexpr std::size_t kMostProfileBytes = std::size_t{4} << 20;

// A JPEG's profile comes in APP2 segments of "ICC_PROFILE\0", a sequence
// number and a count, each a chunk of the profile.
class IccChunks {
 public:
  // The payload of an APP2 segment, after its length; others are ignored.
  void Add(const std::uint8_t* segment, std::size_t size);
  // The chunks joined in sequence order if every one of 1 to count came
  // exactly once and make a profile; else empty.
  std::vector<std::uint8_t> Joined() const;

 private:
  std::vector<std::vector<std::uint8_t>> chunks_;  // by sequence number - 1
  std::vector<bool> seen_;
  std::size_t bytes_ = 0;
  bool broken_ = false;
};

// The inflated profile of a PNG's iCCP chunk, or empty.
std::vector<std::uint8_t> IccFromPngChunk(const std::uint8_t* data, std::size_t size);

// The profile of the picture in the scene's `source`, for the writers of
// PNG files; empty for a picture without one. FillSource sets it.
const ColourProfile& SourceColourProfile();
void SetSourceColourProfile(const ColourProfile* profile);
