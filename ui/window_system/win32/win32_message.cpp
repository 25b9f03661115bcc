// The win32 window system: the thread's message queue, the pumps, translation
// and dispatch.
#include "ui/window_system/win32/win32_window_system.h"

namespace ui::win32 {

void win32_window_system::remember(const MSG& native, message* out) {
  last_ = native;
  out->window = from_native(native.hwnd);
  out->id = native.message;
  out->first = seam_first(native.message, native.wParam);
  out->second = native.lParam;
}

MSG win32_window_system::native_message(const message& m) const {
  if (from_native(last_.hwnd) == m.window && last_.message == m.id &&
      seam_first(last_.message, last_.wParam) == m.first && last_.lParam == m.second)
    return last_;
  MSG native{};
  native.hwnd = to_native<HWND>(m.window);
  native.message = m.id;
  native.wParam = native_first(m.id, m.first);
  native.lParam = m.second;
  native.time = static_cast<DWORD>(GetMessageTime());
  const DWORD position = GetMessagePos();
  native.pt.x = static_cast<short>(LOWORD(position));
  native.pt.y = static_cast<short>(HIWORD(position));
  return native;
}

bool win32_window_system::post_message(window_handle w, std::uint32_t id, wparam first,
                                       lparam second) {
  return PostMessageW(to_native<HWND>(w), id, native_first(id, first), second) != FALSE;
}

void win32_window_system::post_quit_message(int code) {
  PostQuitMessage(code);
}

bool win32_window_system::peek_message(message* out, bool remove) {
  return peek_message_in(out, 0, 0, remove);
}

bool win32_window_system::peek_message_in(message* out, std::uint32_t first, std::uint32_t last,
                                          bool remove) {
  MSG native;
  if (!PeekMessageW(&native, nullptr, first, last, remove ? PM_REMOVE : PM_NOREMOVE))
    return false;
  remember(native, out);
  return true;
}

void win32_window_system::wait_message() {
  WaitMessage();
}

int win32_window_system::get_message(message* out) {
  MSG native;
  const BOOL got = GetMessageW(&native, nullptr, 0, 0);
  if (got == -1) {
    native = MSG{};
    native.message = WM_QUIT;
  }
  remember(native, out);
  return got > 0 ? 1 : 0;
}

int win32_window_system::translate_accelerator(window_handle w, accel_handle table,
                                               const message& m) {
  MSG native = native_message(m);
  return TranslateAcceleratorW(to_native<HWND>(w), to_native<HACCEL>(table), &native);
}

bool win32_window_system::translate_message(const message& m) {
  const MSG native = native_message(m);
  return TranslateMessage(&native) != FALSE;
}

lresult win32_window_system::dispatch_message(const message& m) {
  const MSG native = native_message(m);
  return DispatchMessageW(&native);
}

lresult win32_window_system::def_window_proc(window_handle w, std::uint32_t id, wparam first,
                                             lparam second) {
  return DefWindowProcW(to_native<HWND>(w), id, native_first(id, first), second);
}

} // namespace ui::win32
