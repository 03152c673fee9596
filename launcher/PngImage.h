// PNG pictures from the program's resources, decoded with their alpha channel.
#pragma once

#include "platform/GdiPlus.h"

// Loads resource `id` of `type` into a new picture (owned by the caller). False when the
// resource does not exist; a picture that fails to decode is still made (0 x 0, failed status).
BOOL ImageFromIDResource(UINT id, const char* type, Gdiplus::Image*& image);
// The asserting wrapper every caller uses: null when the resource is missing; a picture that
// failed to decode is logged and returned anyway.
Gdiplus::Image* LoadPngImage(UINT id);

// Draws a picture at (0, 0) in its natural size, as both dialogs paint their backgrounds.
void DrawBackground(HDC hdc, Gdiplus::Image* image);
