// The win32 window system: its making, the routing window procedure,
// resources, window classes and the cursor.
//
// The other areas have their own files: win32_window.cpp (windows),
// win32_message.cpp (the queue and the pumps), win32_draw.cpp (drawing and
// drawing objects).
#include "ui/window_system/win32/win32_window_system.h"

#include <new>

namespace ui::win32 {

namespace {

// The one open window system, which the router hands messages to.
win32_window_system* routing_to = nullptr;

} // namespace

win32_window_system::win32_window_system() {
  routing_to = this;
}

win32_window_system::~win32_window_system() {
  if (routing_to == this)
    routing_to = nullptr;
}

LRESULT CALLBACK win32_window_system::route_message(HWND window, UINT id, WPARAM first,
                                                    LPARAM second) {
  // Nothing may unwind through the system's frames that called us: a failure
  // inside a procedure leaves the message to the default processing.
  try {
    if (routing_to != nullptr) {
      const auto atom = static_cast<ATOM>(GetClassWord(window, GCW_ATOM));
      const auto found = routing_to->procedures_.find(atom);
      if (found != routing_to->procedures_.end() && found->second != nullptr)
        return found->second(from_native(window), id, seam_first(id, first), second);
    }
  } catch (...) {
  }
  return DefWindowProcW(window, id, first, second);
}

// --- resources and classes ---------------------------------------------------

icon_handle win32_window_system::load_icon(instance_handle instance, const char* name) {
  try {
    std::wstring room;
    return from_native(LoadIconW(to_native<HINSTANCE>(instance), wide_name(name, &room)));
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

cursor_handle win32_window_system::load_standard_cursor(standard_cursor which) {
  // IDC_WAIT and IDC_ARROW are numbers, the same for both forms of the call.
  const LPCWSTR cursor =
      reinterpret_cast<LPCWSTR>(which == standard_cursor::wait ? IDC_WAIT : IDC_ARROW);
  return from_native(LoadCursorW(nullptr, cursor));
}

accel_handle win32_window_system::load_accelerators(instance_handle instance, const char* name) {
  try {
    std::wstring room;
    return from_native(LoadAcceleratorsW(to_native<HINSTANCE>(instance), wide_name(name, &room)));
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

bool win32_window_system::register_class(const window_class& c) {
  std::wstring room;
  LPCWSTR name = nullptr;
  try {
    name = wide_name(c.name, &room);
  } catch (const std::bad_alloc&) {
    return false;
  }
  WNDCLASSW native{};
  native.style = c.style;
  native.lpfnWndProc = route_message;
  native.cbClsExtra = 0;
  native.cbWndExtra = 0;
  native.hInstance = to_native<HINSTANCE>(c.instance);
  native.hIcon = to_native<HICON>(c.icon);
  native.hCursor = nullptr;
  native.hbrBackground = nullptr;
  native.lpszMenuName = nullptr;
  native.lpszClassName = name;
  const ATOM atom = RegisterClassW(&native);
  if (atom == 0)
    return false;
  try {
    procedures_[atom] = c.procedure;
  } catch (const std::bad_alloc&) {
    UnregisterClassW(name, native.hInstance);
    return false;
  }
  return true;
}

// --- cursor ------------------------------------------------------------------

cursor_handle win32_window_system::set_cursor(cursor_handle c) {
  return from_native(SetCursor(to_native<HCURSOR>(c)));
}

int win32_window_system::show_cursor(bool show) {
  return ShowCursor(show ? TRUE : FALSE);
}

} // namespace ui::win32

namespace ui {

std::unique_ptr<window_system> create_win32_window_system(std::string* why) {
  if (win32::routing_to != nullptr) {
    *why = "a win32 window system is open already";
    return nullptr;
  }
  try {
    return std::make_unique<win32::win32_window_system>();
  } catch (const std::bad_alloc&) {
    *why = "out of memory";
    return nullptr;
  }
}

} // namespace ui
