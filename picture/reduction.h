#pragma once

// Pictures larger than the screen are shown reduced by area averaging.
// Output pixel (i, j) covers the source area [i·W/w, (i+1)·W/w) ×
// [j·H/h, (j+1)·H/h); each channel is the mean of the source pixels under it,
// each weighted by the fraction of its area covered, rounded to nearest
// (halves up), computed exactly in integers.

#include <cstdint>

// Reduces a picture of packed B, G, R rows (bottom row first, no padding) of
// fromWidth x fromHeight to toWidth x toHeight (each at least 1 and at most the
// source's side) by area averaging, into `to` (toWidth * toHeight * 3 bytes).
// False, with `to` left unwritten, if its working memory cannot be had, the
// sides are not as above or the source is 2^24 pixels high or higher.
bool ReducePicture(const std::uint8_t* from, std::uint32_t fromWidth, std::uint32_t fromHeight,
                   std::uint8_t* to, std::uint32_t toWidth, std::uint32_t toHeight);
