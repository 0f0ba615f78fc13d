#pragma once
#include <cstdint>
void ReducePicture(const std::uint8_t* from, std::uint32_t fromWidth, std::uint32_t fromHeight,
                   std::uint8_t* to, std::uint32_t toWidth, std::uint32_t toHeight);
