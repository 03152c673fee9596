// cairo helpers shared by the drawing code and the backends (not part of the launcher's API).
#pragma once

#include <cairo.h>

#include "Gdi.h"

// A cairo context drawing into `surface` (no copy), clipped to `clip` and translated to `origin`.
// Returns null for an empty surface.
cairo_t* CreateContext(Surface& surface, POINT origin, RECT clip);
cairo_t* CreateContext(CDC* dc);
// A cairo image surface over `surface`'s pixels; the caller destroys it.
cairo_surface_t* WrapSurface(Surface& surface);
// Sets the source to a non-premultiplied ARGB colour.
void SetArgb(cairo_t* cr, uint32_t argb);
