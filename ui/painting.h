// The installer's screen: three centred text lines on the background brush,
// the paint handling, and the default-button frame of the focused button.
#pragma once

#include "ui/window_system.h"

#include <array>

namespace ui {

// Only this many bytes of a text line are measured and drawn.
inline constexpr int max_line_bytes = 100;
// Texts are centred on the window's outer width, not its client width.
inline constexpr int centring_width = 450;
inline constexpr std::array<int, 3> line_tops{20, 50, 80};
inline constexpr int button_slots = 5;

// The three text lines: each slot points at a NUL-terminated Windows-1252
// text the installer owns; all start as " ".
extern std::array<const char*, 3> text_lines;
// The button windows by focus index (0 "Install", 1 "Avbryt", 2 "Välj skiva").
extern std::array<window_handle, button_slots> buttons;

// Points every text line at " " again.
void reset_text_lines();

// Fills the client area with the background brush and draws the three lines,
// each centred at x = (450 - width) / 2 (truncated towards zero), at y 20, 50
// and 80, transparently, at once (not through the message queue). Returns 0.
int paint_text_lines(window_handle w);

// The answer to WM_PAINT: begin painting, fill the update rectangle,
// paint_text_lines, end painting, then the default processing.
lresult handle_paint(window_handle w);

// Posts BM_SETSTYLE with the plain push-button style to every button slot and
// then with the default push-button style to the given slot; the buttons
// change when the messages are dispatched. Returns 0.
int mark_default_button(int slot);

} // namespace ui
