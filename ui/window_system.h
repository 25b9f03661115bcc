// The window-system seam: the window, message, accelerator, cursor and drawing
// operations the installer's screen needs, in the shape of the Win32 calls they
// stand for, with Win32's message numbers, virtual-key codes and styles on every
// backend.
//
// Backends: win32 (the real one), fltk (a desktop window on Linux) and
// offscreen (scripted input, traced output, for automation). One is installed
// at start-up (see window_system_registry.h); everything above this header is
// the same on all of them.
//
// Threading: every call comes from the program's one thread. Window procedures
// run inside dispatch_message, inside translate_accelerator (which hands the
// command straight to the procedure), and inside calls that deliver messages
// synchronously (create_window, show_window, set_focus, destroy_window, and on
// some backends wait_message and peek_message, which may paint).
#pragma once

#include <cstdint>
#include <span>

namespace ui {

// Handles are plain integers; 0 is the null handle of every kind.
using window_handle = std::uintptr_t;
using dc_handle = std::uintptr_t;
using brush_handle = std::uintptr_t;
using pen_handle = std::uintptr_t;
using cursor_handle = std::uintptr_t;
using icon_handle = std::uintptr_t;
using accel_handle = std::uintptr_t;
using instance_handle = std::uintptr_t;

using wparam = std::uintptr_t;
using lparam = std::intptr_t;
using lresult = std::intptr_t;

// A colour value 0x00BBGGRR (COLORREF).
using colour = std::uint32_t;

inline constexpr colour rgb(unsigned red, unsigned green, unsigned blue) {
  return (red & 0xFFu) | (green & 0xFFu) << 8 | (blue & 0xFFu) << 16;
}

// Window messages (WM_*), with Win32's numbers.
namespace msg {
inline constexpr std::uint32_t destroy = 0x0002;           // WM_DESTROY
inline constexpr std::uint32_t size = 0x0005;              // WM_SIZE
inline constexpr std::uint32_t set_focus = 0x0007;         // WM_SETFOCUS
inline constexpr std::uint32_t close = 0x0010;             // WM_CLOSE
inline constexpr std::uint32_t paint = 0x000F;             // WM_PAINT
inline constexpr std::uint32_t query_end_session = 0x0011; // WM_QUERYENDSESSION
inline constexpr std::uint32_t quit = 0x0012;              // WM_QUIT
inline constexpr std::uint32_t key_down = 0x0100;          // WM_KEYDOWN
inline constexpr std::uint32_t key_up = 0x0101;            // WM_KEYUP
inline constexpr std::uint32_t character = 0x0102;         // WM_CHAR
inline constexpr std::uint32_t sys_key_down = 0x0104;      // WM_SYSKEYDOWN
inline constexpr std::uint32_t command = 0x0111;           // WM_COMMAND
inline constexpr std::uint32_t sys_command = 0x0112;       // WM_SYSCOMMAND
inline constexpr std::uint32_t button_set_style = 0x00F4;  // BM_SETSTYLE
// The first number a program may use for its own messages (WM_USER); up to
// 0x7FFF.
inline constexpr std::uint32_t user = 0x0400;
} // namespace msg

// System commands (SC_*), in WM_SYSCOMMAND's first parameter (masked 0xFFF0).
inline constexpr std::uint32_t sc_minimize = 0xF020;
inline constexpr std::uint32_t sc_close = 0xF060;
inline constexpr std::uint32_t sc_restore = 0xF120;

// Virtual-key codes (VK_*) of the keys the system knows.
namespace vk {
inline constexpr std::uint16_t back = 0x08;
inline constexpr std::uint16_t tab = 0x09;
inline constexpr std::uint16_t enter = 0x0D;
inline constexpr std::uint16_t shift = 0x10;
inline constexpr std::uint16_t control = 0x11;
inline constexpr std::uint16_t menu = 0x12; // Alt
inline constexpr std::uint16_t escape = 0x1B;
inline constexpr std::uint16_t space = 0x20;
inline constexpr std::uint16_t prior = 0x21; // Page Up
inline constexpr std::uint16_t next = 0x22;  // Page Down
inline constexpr std::uint16_t end = 0x23;
inline constexpr std::uint16_t home = 0x24;
inline constexpr std::uint16_t left = 0x25;
inline constexpr std::uint16_t up = 0x26;
inline constexpr std::uint16_t right = 0x27;
inline constexpr std::uint16_t down = 0x28;
inline constexpr std::uint16_t insert = 0x2D;
inline constexpr std::uint16_t del = 0x2E;
inline constexpr std::uint16_t f1 = 0x70; // F1 to F12 are 0x70 to 0x7B
} // namespace vk

// Class styles (CS_*).
namespace class_style {
inline constexpr std::uint32_t vredraw = 0x0001;
inline constexpr std::uint32_t hredraw = 0x0002;
inline constexpr std::uint32_t dblclks = 0x0008;
inline constexpr std::uint32_t classdc = 0x0040;
inline constexpr std::uint32_t savebits = 0x0800;
} // namespace class_style

// Window styles (WS_*, BS_*) and the extended style the main window uses.
namespace window_style {
inline constexpr std::uint32_t overlapped = 0x00000000;
inline constexpr std::uint32_t child = 0x40000000;
inline constexpr std::uint32_t visible = 0x10000000;
inline constexpr std::uint32_t push_button = 0x00000000;     // BS_PUSHBUTTON
inline constexpr std::uint32_t def_push_button = 0x00000001; // BS_DEFPUSHBUTTON
inline constexpr std::uint32_t ex_window_edge = 0x00000100;  // WS_EX_WINDOWEDGE
} // namespace window_style

// The class name of push buttons ("BUTTON"), as create_window takes it.
inline constexpr const char* button_class = "BUTTON";

// Show commands (SW_*).
inline constexpr int sw_hide = 0;
inline constexpr int sw_show_normal = 1;
inline constexpr int sw_show_minimized = 2;
inline constexpr int sw_show = 5;

// Background modes of set_bk_mode.
inline constexpr int bk_transparent = 1;
inline constexpr int bk_opaque = 2;

// Pen styles of create_pen.
inline constexpr int ps_solid = 0;

// Accelerator entry flags (FVIRTKEY, FNOINVERT, FSHIFT, FCONTROL, FALT, end).
namespace accel_flag {
inline constexpr std::uint8_t virtkey = 0x01;
inline constexpr std::uint8_t noinvert = 0x02;
inline constexpr std::uint8_t shift = 0x04;
inline constexpr std::uint8_t control = 0x08;
inline constexpr std::uint8_t alt = 0x10;
inline constexpr std::uint8_t end = 0x80;
} // namespace accel_flag

// One accelerator entry (ACCEL): flags, virtual-key code, command id.
struct accelerator {
  std::uint8_t flags;
  std::uint16_t key;
  std::uint16_t command;
};

// One named accelerator table among a program's resources.
struct accelerator_table_resource {
  const char* name;
  std::span<const accelerator> entries;
};

// A program's resources, for the window systems that cannot read them from
// the program file (fltk and offscreen; win32 loads the module's own and is
// not handed this): the icon names load_icon finds and the accelerator tables
// load_accelerators finds, names compared exactly. A window system keeps the
// spans, so what they refer to must outlive it.
struct resource_table {
  std::span<const char* const> icons;
  std::span<const accelerator_table_resource> accelerator_tables;
};

struct rect {
  int left = 0, top = 0, right = 0, bottom = 0;
};

struct extent {
  int cx = 0, cy = 0;
};

// A message as the pumps move it (MSG, reduced).
struct message {
  window_handle window = 0;
  std::uint32_t id = 0;
  wparam first = 0;
  lparam second = 0;
};

// A window procedure (WNDPROC).
using window_procedure = lresult (*)(window_handle, std::uint32_t, wparam, lparam);

// A window class (WNDCLASSA, reduced).
struct window_class {
  const char* name = nullptr;
  std::uint32_t style = 0;
  window_procedure procedure = nullptr;
  instance_handle instance = 0;
  icon_handle icon = 0;
};

// The two standard cursors the installer uses.
enum class standard_cursor { arrow, wait };

// The operations of one window system. Each call states its Win32 model; its
// results follow that model. A backend that cannot do an operation answers
// with the model's failure value and says so in its own header.
class window_system {
public:
  virtual ~window_system() = default;

  // --- resources and classes ------------------------------------------------

  // LoadIconA(instance, name): a resource of the program (the module's on
  // win32, the resource table's elsewhere). 0 when there is no such icon.
  virtual icon_handle load_icon(instance_handle instance, const char* name) = 0;
  // LoadCursorA(NULL, IDC_ARROW / IDC_WAIT).
  virtual cursor_handle load_standard_cursor(standard_cursor which) = 0;
  // LoadAcceleratorsA(instance, name): a table among the program's resources
  // (as for load_icon). 0 when there is no such table.
  virtual accel_handle load_accelerators(instance_handle instance, const char* name) = 0;
  // RegisterClassA. False when the class cannot be registered (a class of the
  // same name exists already, for one).
  virtual bool register_class(const window_class& c) = 0;

  // --- windows ---------------------------------------------------------------

  // CreateWindowExA. class_name: a registered class, or button_class for a
  // push button child (id is then its command id, text its caption, style
  // window_style bits). Windows-1252 texts. Returns 0 on failure.
  virtual window_handle create_window(std::uint32_t ex_style, const char* class_name,
                                      const char* text, std::uint32_t style, int x, int y,
                                      int width, int height, window_handle parent, int id,
                                      instance_handle instance) = 0;
  // ShowWindow. Returns whether the window was visible before.
  virtual bool show_window(window_handle w, int show) = 0;
  // SetFocus. Returns the window that had the focus, or 0.
  virtual window_handle set_focus(window_handle w) = 0;
  // DestroyWindow (children first go with their parent). False for a window
  // that does not exist.
  virtual bool destroy_window(window_handle w) = 0;
  // IsIconic: whether the window is minimised.
  virtual bool is_iconic(window_handle w) = 0;

  // --- messages --------------------------------------------------------------

  // PostMessageA: appends the message to the thread's queue; w 0 makes it a
  // thread message, which dispatch hands to no window. False, and nothing
  // queued, when w is neither 0 nor an existing window.
  virtual bool post_message(window_handle w, std::uint32_t id, wparam first, lparam second) = 0;
  // PostQuitMessage(code).
  virtual void post_quit_message(int code) = 0;
  // PeekMessageA(no window filter, no range filter). remove: PM_REMOVE.
  // True when a message was waiting (*out then holds it). Never blocks.
  virtual bool peek_message(message* out, bool remove) = 0;

  // PeekMessageA(no window filter, first, last): as peek_message, for the
  // messages whose id lies in [first, last] alone; the others stay queued in
  // their order.
  virtual bool peek_message_in(message* out, std::uint32_t first, std::uint32_t last,
                               bool remove) = 0;
  // WaitMessage: blocks until a message is waiting in the thread's queue.
  virtual void wait_message() = 0;
  // GetMessageA(no filters): blocks until a message is there and takes it.
  // Returns 0 for the quit message, 1 for any other.
  virtual int get_message(message* out) = 0;
  // TranslateAcceleratorA(w, table, m): when m is a key-down of a key the
  // table holds (with the entry's modifiers exactly), hands WM_COMMAND with
  // (command id | 1 << 16, 0) to w's procedure and returns 1; else 0.
  virtual int translate_accelerator(window_handle w, accel_handle table, const message& m) = 0;
  // TranslateMessage: for a key-down of a key that types a character, posts
  // the WM_CHAR message with its Windows-1252 code. Returns whether it did.
  virtual bool translate_message(const message& m) = 0;
  // DispatchMessageA: calls the message's window's procedure; 0 when the
  // window does not exist.
  virtual lresult dispatch_message(const message& m) = 0;
  // DefWindowProcA: the default processing (WM_SYSCOMMAND SC_CLOSE sends
  // WM_CLOSE, WM_CLOSE destroys the window, WM_PAINT validates, ...).
  virtual lresult def_window_proc(window_handle w, std::uint32_t id, wparam first,
                                  lparam second) = 0;

  // --- cursor ----------------------------------------------------------------

  // SetCursor. Returns the previous cursor.
  virtual cursor_handle set_cursor(cursor_handle c) = 0;
  // ShowCursor: changes the display count by one; returns the new count. The
  // cursor shows while the count is 0 or more.
  virtual int show_cursor(bool show) = 0;

  // --- drawing ---------------------------------------------------------------

  // GetClientRect.
  virtual rect client_rect(window_handle w) = 0;
  // GetDC / ReleaseDC: a drawing context of the window's client area.
  virtual dc_handle get_dc(window_handle w) = 0;
  virtual int release_dc(window_handle w, dc_handle dc) = 0;
  // BeginPaint / EndPaint: the paint cycle; *update receives the update
  // rectangle. The window counts as painted afterwards.
  virtual dc_handle begin_paint(window_handle w, rect* update) = 0;
  virtual void end_paint(window_handle w, dc_handle dc) = 0;
  // FillRect.
  virtual int fill_rect(dc_handle dc, const rect& r, brush_handle brush) = 0;
  // GetTextExtentPointA of n bytes of Windows-1252 text in the default font.
  virtual extent text_extent(dc_handle dc, const char* text, int n) = 0;
  // SetBkMode. Returns the previous mode.
  virtual int set_bk_mode(dc_handle dc, int mode) = 0;
  // TextOutA: n bytes of Windows-1252 text, top-left corner at (x, y), in the
  // default font and text colour (black).
  virtual bool text_out(dc_handle dc, int x, int y, const char* text, int n) = 0;

  // --- drawing objects -------------------------------------------------------

  // CreateSolidBrush, CreatePen, DeleteObject.
  virtual brush_handle create_solid_brush(colour c) = 0;
  virtual pen_handle create_pen(int style, int width, colour c) = 0;
  virtual bool delete_object(std::uintptr_t object) = 0;
};

// The window system in use.
window_system& current_window_system();

// Installs ws (nullptr: none) and returns the one it replaces.
window_system* set_window_system(window_system* ws);

} // namespace ui
