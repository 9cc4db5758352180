// Packing and unpacking 0xRRGGBB colours, as a 32-bit screen stores them.
#pragma once

#include <cstdint>

inline int32_t color_pack(int r, int g, int b) { return (int32_t)(((uint32_t)(r & 0xFF) << 16) | ((uint32_t)(g & 0xFF) << 8) | (uint32_t)(b & 0xFF)); }
inline int color_red(int32_t c) { return ((uint32_t)c >> 16) & 0xFF; }
inline int color_green(int32_t c) { return ((uint32_t)c >> 8) & 0xFF; }
inline int color_blue(int32_t c) { return (uint32_t)c & 0xFF; }
