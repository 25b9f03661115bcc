// The colour scheme read from the user's profile.
#include "ui/colour_scheme.h"

#include "sys/platform.h"

#include <cstring>

namespace ui {

namespace {

constexpr int background_entry = 12; // "buttonface"

std::array<profile_colour, 15> profile{{
    {"appworkspace", "255 255 232", 0, 0},
    {"window", "255 255 255", 0, 0},
    {"windowtext", "0 0 0", 0, 0},
    {"menu", "255 255 255", 0, 0},
    {"menutext", "0 0 0", 0, 0},
    {"activetitle", "0 64 128", 0, 0},
    {"scrollbar", "224 224 224", 0, 0},
    {"inactivetitle", "255 255 255", 0, 0},
    {"titletext", "255 255 255", 0, 0},
    {"activeborder", "128 128 128", 0, 0},
    {"inactiveborder", "255 255 255", 0, 0},
    {"windowframe", "0 0 0", 0, 0},
    {"buttonface", "148 148 240", 0, 0},
    {"buttonshadow", "128 128 128", 0, 0},
    {"buttontext", "0 0 0", 0, 0},
}};

// Fixed colours by slot; slots 0 and 8 to 14 are unused.
struct fixed_colour {
  int slot;
  colour value;
};
constexpr std::array<fixed_colour, 8> fixed_table{{
    {1, 0xC4C4C4},
    {2, 0x808080},
    {3, 0x404040},
    {4, 0xFF0000},
    {5, 0x808000},
    {6, 0xFFFF00},
    {7, 0xE4E4E4},
    {15, 0xFFFFFF},
}};
std::array<colour, 16> fixed_colours{};
std::array<brush_handle, 16> fixed_brushes{};

struct pen_spec {
  int width;
  int slot;
};
constexpr std::array<pen_spec, 6> pen_table{{{4, 1}, {4, 2}, {4, 3}, {1, 15}, {1, 4}, {1, 7}}};
std::array<pen_handle, 6> pens{};

// Bytes 0 to 32 separate numbers; a NUL ends the text, and a cleared buffer
// holds nothing but NULs behind it.
bool is_separator(unsigned char c) {
  return c <= 32;
}

int read_number(const unsigned char* text, int* position) {
  int number = 0;
  while (*position < profile_text_bytes && text[*position] >= '0' && text[*position] <= '9') {
    number = (number * 10 + (text[*position] - '0')) & 0xFFFF; // only the low bits count
    ++*position;
  }
  return number & 0xFF;
}

void skip_separators(const unsigned char* text, int* position) {
  while (*position < profile_text_bytes && is_separator(text[*position]))
    ++*position;
}

} // namespace

int parse_colour_triple(const char* text, int* red, int* green, int* blue) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  int position = 0;
  int* outputs[3] = {red, green, blue};
  for (int* out : outputs) {
    skip_separators(bytes, &position);
    *out = read_number(bytes, &position);
  }
  return 0;
}

void build_colour_scheme() {
  window_system& ws = current_window_system();
  char text[profile_text_bytes];
  for (auto& entry : profile) {
    std::memset(text, 0, sizeof text);
    sys::current_platform().profile_string("colors", entry.key, entry.default_text, text,
                                           profile_text_bytes);
    int red = 0, green = 0, blue = 0;
    parse_colour_triple(text, &red, &green, &blue);
    entry.value =
        rgb(static_cast<unsigned>(red), static_cast<unsigned>(green), static_cast<unsigned>(blue));
    entry.brush = ws.create_solid_brush(entry.value);
  }
  for (const auto& f : fixed_table) {
    fixed_colours[static_cast<std::size_t>(f.slot)] = f.value;
    fixed_brushes[static_cast<std::size_t>(f.slot)] = ws.create_solid_brush(f.value);
  }
  for (std::size_t i = 0; i < pen_table.size(); ++i)
    pens[i] = ws.create_pen(ps_solid, pen_table[i].width,
                            fixed_colours[static_cast<std::size_t>(pen_table[i].slot)]);
}

void release_colour_scheme() {
  window_system& ws = current_window_system();
  for (auto& entry : profile)
    ws.delete_object(entry.brush);
  ws.delete_object(fixed_brushes[15]);
  for (std::size_t slot = 1; slot <= 7; ++slot)
    ws.delete_object(fixed_brushes[slot]);
  for (pen_handle pen : pens)
    ws.delete_object(pen);
}

brush_handle background_brush() {
  return profile[background_entry].brush;
}

const std::array<profile_colour, 15>& profile_colours() {
  return profile;
}

} // namespace ui
