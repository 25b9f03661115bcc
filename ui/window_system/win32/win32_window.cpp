// The win32 window system: making, showing, focusing and destroying windows.
#include "ui/window_system/win32/win32_window_system.h"

#include <new>
#include <string>

namespace ui::win32 {

window_handle win32_window_system::create_window(std::uint32_t ex_style, const char* class_name,
                                                 const char* text, std::uint32_t style, int x,
                                                 int y, int width, int height, window_handle parent,
                                                 int id, instance_handle instance) {
  // A child window's HMENU argument is its id, which its WM_COMMAND carries.
  const HMENU menu =
      (style & WS_CHILD) != 0 ? reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)) : nullptr;
  try {
    // A class may be named by its atom, a number in place of the text.
    std::wstring wide_class;
    const LPCWSTR class_text = wide_name(class_name, &wide_class);
    const std::wstring wide_text = text ? sys::win32::to_wide(text) : std::wstring();
    return from_native(CreateWindowExW(ex_style, class_text, text ? wide_text.c_str() : nullptr,
                                       style, x, y, width, height, to_native<HWND>(parent), menu,
                                       to_native<HINSTANCE>(instance), nullptr));
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

bool win32_window_system::show_window(window_handle w, int show) {
  return ShowWindow(to_native<HWND>(w), show) != FALSE;
}

window_handle win32_window_system::set_focus(window_handle w) {
  return from_native(SetFocus(to_native<HWND>(w)));
}

bool win32_window_system::destroy_window(window_handle w) {
  return DestroyWindow(to_native<HWND>(w)) != FALSE;
}

bool win32_window_system::is_iconic(window_handle w) {
  return IsIconic(to_native<HWND>(w)) != FALSE;
}

} // namespace ui::win32
