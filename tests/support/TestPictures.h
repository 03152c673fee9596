// Pictures for drawing tests.
#pragma once

#include <cstdint>
#include <string>

// PNG bytes of a w x h picture filled with one colour (non-premultiplied ARGB).
std::string SolidPng(int width, int height, uint32_t argb);
// Premultiplies a non-premultiplied ARGB colour, as surfaces store it.
uint32_t Premultiplied(uint32_t argb);
// PNG bytes of a picture whose left half is `left` and right half `right` (opaque RGB).
std::string SplitPng(int width, int height, uint32_t left, uint32_t right);
