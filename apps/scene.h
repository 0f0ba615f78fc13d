#pragma once

#include <cstdint>
#include <vector>

// The bundled picture, drawn for any size: a bright evening sky with a low
// sun, a dark colonnade, trees and hills with gaps for the light to pass,
// and a few coloured lamps and windows. Packed B, G, R rows, bottom row
// first.
std::vector<std::uint8_t> DrawScene(std::uint32_t width, std::uint32_t height);
