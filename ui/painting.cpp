// Painting the text lines and marking the default button.
#include "ui/painting.h"

#include "ui/colour_scheme.h"
#include "ui/screen_observer.h"

#include <cstring>

namespace ui {

namespace {
constexpr const char* blank = " ";
}

std::array<const char*, 3> text_lines{blank, blank, blank};
std::array<window_handle, button_slots> buttons{};

void reset_text_lines() {
  text_lines = {blank, blank, blank};
}

int paint_text_lines(window_handle w) {
  window_system& ws = current_window_system();
  const rect client = ws.client_rect(w);
  const dc_handle dc = ws.get_dc(w);
  ws.fill_rect(dc, client, background_brush());
  for (std::size_t i = 0; i < text_lines.size(); ++i) {
    const char* text = text_lines[i];
    const int length = static_cast<int>(strnlen(text, max_line_bytes));
    const extent size = ws.text_extent(dc, text, length);
    const int x = (centring_width - size.cx) / 2;
    ws.set_bk_mode(dc, bk_transparent);
    ws.text_out(dc, x, line_tops[i], text, length);
  }
  ws.release_dc(w, dc);
  return 0;
}

lresult handle_paint(window_handle w) {
  window_system& ws = current_window_system();
  rect update;
  const dc_handle dc = ws.begin_paint(w, &update);
  ws.fill_rect(dc, update, background_brush());
  paint_text_lines(w);
  ws.end_paint(w, dc);
  return ws.def_window_proc(w, msg::paint, 0, 0);
}

int mark_default_button(int slot) {
  window_system& ws = current_window_system();
  for (window_handle button : buttons)
    ws.post_message(button, msg::button_set_style, window_style::push_button, 1);
  ws.post_message(buttons[static_cast<std::size_t>(slot)], msg::button_set_style,
                  window_style::def_push_button, 1);
  if (screen_observer* observer = current_screen_observer())
    observer->default_button_marked(slot);
  return 0;
}

} // namespace ui
