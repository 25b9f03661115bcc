// The win32 window system: client areas, drawing contexts, painting, text and
// the drawing objects (brushes and pens).
#include "ui/window_system/win32/win32_window_system.h"

#include <new>
#include <string>
#include <string_view>

namespace ui::win32 {

namespace {

RECT to_native_rect(const rect& r) {
  return RECT{r.left, r.top, r.right, r.bottom};
}

rect from_native_rect(const RECT& r) {
  return rect{static_cast<int>(r.left), static_cast<int>(r.top), static_cast<int>(r.right),
              static_cast<int>(r.bottom)};
}

} // namespace

rect win32_window_system::client_rect(window_handle w) {
  RECT native;
  if (!GetClientRect(to_native<HWND>(w), &native))
    return rect{};
  return from_native_rect(native);
}

dc_handle win32_window_system::get_dc(window_handle w) {
  return from_native(GetDC(to_native<HWND>(w)));
}

int win32_window_system::release_dc(window_handle w, dc_handle dc) {
  return ReleaseDC(to_native<HWND>(w), to_native<HDC>(dc));
}

dc_handle win32_window_system::begin_paint(window_handle w, rect* update) {
  const HWND window = to_native<HWND>(w);
  *update = rect{};
  PAINTSTRUCT paint;
  const HDC dc = BeginPaint(window, &paint);
  if (dc == nullptr)
    return 0;
  try {
    paints_[window] = paint;
  } catch (const std::bad_alloc&) {
    // Without its PAINTSTRUCT the cycle could not be ended later: end it now
    // and let the caller's drawing fail on the null context.
    EndPaint(window, &paint);
    return 0;
  }
  *update = from_native_rect(paint.rcPaint);
  return from_native(dc);
}

void win32_window_system::end_paint(window_handle w, dc_handle) {
  const auto found = paints_.find(to_native<HWND>(w));
  if (found == paints_.end())
    return;
  EndPaint(found->first, &found->second);
  paints_.erase(found);
}

int win32_window_system::fill_rect(dc_handle dc, const rect& r, brush_handle brush) {
  const RECT native = to_native_rect(r);
  return FillRect(to_native<HDC>(dc), &native, to_native<HBRUSH>(brush));
}

extent win32_window_system::text_extent(dc_handle dc, const char* text, int n) {
  try {
    // One UTF-16 unit per Windows-1252 byte: the count stays n.
    const std::wstring wide = sys::win32::to_wide(std::string_view(text, n > 0 ? n : 0));
    SIZE size;
    if (!GetTextExtentPoint32W(to_native<HDC>(dc), wide.c_str(), n, &size))
      return extent{};
    return extent{static_cast<int>(size.cx), static_cast<int>(size.cy)};
  } catch (const std::bad_alloc&) {
    return extent{};
  }
}

int win32_window_system::set_bk_mode(dc_handle dc, int mode) {
  return SetBkMode(to_native<HDC>(dc), mode);
}

bool win32_window_system::text_out(dc_handle dc, int x, int y, const char* text, int n) {
  try {
    const std::wstring wide = sys::win32::to_wide(std::string_view(text, n > 0 ? n : 0));
    return TextOutW(to_native<HDC>(dc), x, y, wide.c_str(), n) != FALSE;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

brush_handle win32_window_system::create_solid_brush(colour c) {
  return from_native(CreateSolidBrush(c));
}

pen_handle win32_window_system::create_pen(int style, int width, colour c) {
  return from_native(CreatePen(style, width, c));
}

bool win32_window_system::delete_object(std::uintptr_t object) {
  return DeleteObject(to_native<HGDIOBJ>(object)) != FALSE;
}

} // namespace ui::win32
