// The colour scheme: fifteen colours from the user's profile (section
// "colors"), eight fixed colours, each with a solid brush, and six pens.
#pragma once

#include "ui/window_system.h"

#include <array>
#include <cstdint>

namespace ui {

// Room for one profile value: 79 characters and a NUL.
inline constexpr int profile_text_bytes = 80;

struct profile_colour {
  const char* key;
  const char* default_text;
  colour value;
  brush_handle brush;
};

// Reads the three decimal numbers of text (profile_text_bytes long): each run
// of bytes 0 to 32 separates, digits make a number, any other byte ends the
// number before it and stops the reading, so the numbers after it are 0. Each
// number counts modulo 256. Returns 0.
int parse_colour_triple(const char* text, int* red, int* green, int* blue);

// Reads the fifteen profile colours (a missing key takes its default; the
// buffer is cleared before each read, so missing numbers are 0) and creates
// every brush and pen, in table order.
void build_colour_scheme();

// Deletes every brush and pen: the profile brushes in table order, the brush
// of fixed colour 15, those of fixed colours 1 to 7, then the six pens.
void release_colour_scheme();

// The brush of "buttonface", which paints the installer's background.
brush_handle background_brush();

// The scheme's tables, for inspection.
const std::array<profile_colour, 15>& profile_colours();

} // namespace ui
