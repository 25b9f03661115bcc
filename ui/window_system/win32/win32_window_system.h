// The win32 window system: every operation of the seam is the Win32 call it
// names, made on the real desktop through the wide ("W") functions.
//
//===----------------------------------------------------------------------===//
//=== Generic Win32 only: nothing here may need more than Windows 7, nor one
//=== compiler's or SDK's extras.
//===----------------------------------------------------------------------===//
//
// Handles cross the seam as the integer values of the native handles (HWND,
// HDC, HBRUSH, HPEN, HCURSOR, HICON, HACCEL, HINSTANCE); results and failure
// values are Win32's. Where Win32 answers differently from the seam's model,
// the declaration below says so.
//
// Window procedures: Win32 calls a WNDPROC, the seam's procedures have another
// signature. Every class this backend registers gets one routing WNDPROC, and
// the backend keeps the seam's procedure by class atom; the router looks the
// atom of the window's class up, so also the messages a window gets before
// WM_NCCREATE (WM_GETMINMAXINFO) reach the right procedure. The classes have
// no extra bytes (cbClsExtra and cbWndExtra 0), no cursor, no background brush
// and no menu: the installer sets the cursor and paints every pixel itself.
// Push buttons are Windows' own "BUTTON" class and never reach the router.
//
// Texts: the seam's texts (window and button captions, drawn lines) are
// Windows-1252 and are converted to UTF-16 here (sys/platform/win32/
// win32_text.h), never through the ANSI code page, so "Välj skiva" reads the
// same on a Russian, Greek or UTF-8 system. Windows are Unicode windows
// (RegisterClassW, CreateWindowExW, the W pumps), so WM_CHAR carries a UTF-16
// unit: the router and the pumps hand it to the seam as its Windows-1252 code,
// '?' for a character Windows-1252 lacks (each half of a surrogate pair too),
// and a WM_CHAR from the seam (posted, rebuilt for dispatch, or given to the
// default procedure) goes back to UTF-16. Virtual keys and accelerators are
// the same in both forms.
//
// Threading: the program's one thread, the one that made the windows; only
// that thread's message queue is pumped. One win32 window system may be open
// at a time (the router finds it through a process-wide pointer).
#pragma once

// First: it fixes the Windows API level before any other header looks at it.
#include "sys/platform/win32/win32_api.h"

#include "sys/cp1252.h"
#include "sys/platform/win32/win32_text.h"
#include "ui/window_system.h"

#include <map>
#include <memory>
#include <string>

namespace ui::win32 {

class win32_window_system final : public window_system {
public:
  // Becomes the window system the router hands messages to. Use
  // create_win32_window_system, which refuses a second one.
  win32_window_system();
  // Stops routing: messages to windows of the classes it registered then get
  // DefWindowProcW. Windows and classes stay until they are destroyed or the
  // process ends, as drawing objects do until delete_object.
  ~win32_window_system() override;

  win32_window_system(const win32_window_system&) = delete;
  win32_window_system& operator=(const win32_window_system&) = delete;

  // --- resources and classes ------------------------------------------------

  // LoadIconW: a resource of the instance's module (its resource script's).
  icon_handle load_icon(instance_handle instance, const char* name) override;
  // LoadCursorW(NULL, IDC_ARROW / IDC_WAIT): shared cursors, never destroyed.
  cursor_handle load_standard_cursor(standard_cursor which) override;
  // LoadAcceleratorsW: the table comes from the module's resources, so it is
  // there only when the program's resource script is linked in (0 otherwise).
  accel_handle load_accelerators(instance_handle instance, const char* name) override;
  // RegisterClassW with the routing procedure; the class's procedure is kept
  // under the class atom (a class without one gets DefWindowProcW). False when
  // RegisterClassW fails (the name is taken), and then nothing is kept.
  bool register_class(const window_class& c) override;

  // --- windows ---------------------------------------------------------------

  // CreateWindowExW. For a child window (window_style::child, as every push
  // button is) id goes in as the child id (the HMENU argument); a top-level
  // window gets no menu and id is not used. Returns 0 on failure.
  window_handle create_window(std::uint32_t ex_style, const char* class_name, const char* text,
                              std::uint32_t style, int x, int y, int width, int height,
                              window_handle parent, int id, instance_handle instance) override;
  bool show_window(window_handle w, int show) override; // ShowWindow
  window_handle set_focus(window_handle w) override;    // SetFocus
  bool destroy_window(window_handle w) override;        // DestroyWindow
  bool is_iconic(window_handle w) override;             // IsIconic

  // --- messages --------------------------------------------------------------

  bool post_message(window_handle w, std::uint32_t id, wparam first, lparam second) override;
  void post_quit_message(int code) override;
  // PeekMessageW(NULL, 0, 0, PM_REMOVE or PM_NOREMOVE). Like every Win32 pump
  // call it first delivers messages sent from other threads, and it may hand
  // out WM_PAINT for an invalid window.
  bool peek_message(message* out, bool remove) override;
  bool peek_message_in(message* out, std::uint32_t first, std::uint32_t last, bool remove) override;
  void wait_message() override;
  // GetMessageW(NULL, 0, 0). Its error result (-1, which needs an invalid
  // window filter and so cannot occur here) is answered like WM_QUIT: 0, with
  // *out holding a WM_QUIT of code 0, so a pump ends instead of spinning.
  int get_message(message* out) override;
  int translate_accelerator(window_handle w, accel_handle table, const message& m) override;
  // TranslateMessage. Win32 answers true for every key message, whether or
  // not it typed a character (the seam's model: only when it posted WM_CHAR).
  bool translate_message(const message& m) override;
  lresult dispatch_message(const message& m) override;
  lresult def_window_proc(window_handle w, std::uint32_t id, wparam first, lparam second) override;

  // --- cursor ----------------------------------------------------------------

  cursor_handle set_cursor(cursor_handle c) override; // SetCursor
  int show_cursor(bool show) override;                // ShowCursor

  // --- drawing ---------------------------------------------------------------

  // GetClientRect; an empty rectangle (all 0) when w is no window.
  rect client_rect(window_handle w) override;
  dc_handle get_dc(window_handle w) override;             // GetDC
  int release_dc(window_handle w, dc_handle dc) override; // ReleaseDC
  // BeginPaint; the PAINTSTRUCT is kept for w until end_paint. 0 (and *update
  // all 0) when BeginPaint fails.
  dc_handle begin_paint(window_handle w, rect* update) override;
  // EndPaint with the PAINTSTRUCT of w's begin_paint; nothing without one.
  void end_paint(window_handle w, dc_handle dc) override;
  int fill_rect(dc_handle dc, const rect& r, brush_handle brush) override; // FillRect
  // GetTextExtentPoint32W in the DC's font (for a fresh DC: the system font).
  // 0 by 0 when it fails.
  extent text_extent(dc_handle dc, const char* text, int n) override;
  int set_bk_mode(dc_handle dc, int mode) override;                            // SetBkMode
  bool text_out(dc_handle dc, int x, int y, const char* text, int n) override; // TextOutW

  // --- drawing objects -------------------------------------------------------

  brush_handle create_solid_brush(colour c) override;             // CreateSolidBrush
  pen_handle create_pen(int style, int width, colour c) override; // CreatePen
  bool delete_object(std::uintptr_t object) override;             // DeleteObject

private:
  // The routing WNDPROC of every class registered here.
  static LRESULT CALLBACK route_message(HWND window, UINT id, WPARAM first, LPARAM second);

  // The full MSG behind m: the last one peeked or got when m is that one
  // (time and cursor position included), else one built from m's fields.
  MSG native_message(const message& m) const;
  void remember(const MSG& native, message* out);

  std::map<ATOM, window_procedure> procedures_; // by class atom
  std::map<HWND, PAINTSTRUCT> paints_;          // between BeginPaint and EndPaint
  MSG last_{};                                  // the last message peeked or got
};

// The native handle behind a seam handle, and back.
template <class Native> Native to_native(std::uintptr_t handle) noexcept {
  return reinterpret_cast<Native>(handle);
}
template <class Native> std::uintptr_t from_native(Native handle) noexcept {
  return reinterpret_cast<std::uintptr_t>(handle);
}

// A resource or class name for the W calls: a number (MAKEINTRESOURCE) as it
// is, a text converted into *room. Throws std::bad_alloc as the conversion
// does.
inline LPCWSTR wide_name(const char* name, std::wstring* room) {
  if (IS_INTRESOURCE(name))
    return reinterpret_cast<LPCWSTR>(name);
  *room = sys::win32::to_wide(name);
  return room->c_str();
}

// A message's first parameter as the seam has it: for WM_CHAR the
// Windows-1252 code of the UTF-16 unit ('?' when there is none).
inline wparam seam_first(UINT id, WPARAM first) noexcept {
  if (id != WM_CHAR)
    return first;
  const int code = sys::win32::cp1252_byte_of(static_cast<wchar_t>(first & 0xFFFF));
  return code >= 0 ? static_cast<wparam>(code) : wparam{'?'};
}

// A message's first parameter as the W calls take it: for WM_CHAR the UTF-16
// unit of the Windows-1252 code.
inline WPARAM native_first(std::uint32_t id, wparam first) noexcept {
  if (id != WM_CHAR)
    return first;
  return sys::cp1252_code_point(static_cast<unsigned char>(first & 0xFF));
}

} // namespace ui::win32

namespace ui {

// Makes the win32 window system. Returns nullptr, with the reason in *why,
// when one is open already or memory runs out.
std::unique_ptr<window_system> create_win32_window_system(std::string* why);

} // namespace ui
