// The fltk window system: FLTK windows and buttons under the emulated window
// manager.
//
// Map of this file:
//   top_window, push_button     the FLTK widgets and what their events post
//   input                       poll_input, wait_for_input
//   drawing                     fill, draw_text, measure_text
//   windows                     creation, showing, destruction, focus, cursor
//   create_fltk_window_system   opening the display without FLTK's exit
#include "ui/window_system/fltk/fltk_window_system.h"

#include "sys/cp1252.h"
#include "ui/window_system/fltk/fltk_keys.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

#include <cstdlib>
#include <iterator>
#include <string_view>

// Last: the X11 headers behind it define macros (None, Status, Bool, ...).
#include <FL/x.H>

namespace ui::fltk {

namespace {

// The one font of the installer's text: FLTK's default face and size.
constexpr Fl_Font text_font = FL_HELVETICA;
Fl_Fontsize text_size() {
  return FL_NORMAL_SIZE;
}

std::string utf8_of(std::string_view text) {
  return sys::cp1252_to_utf8(text);
}

// FLTK reads '@' in labels as the start of a symbol; "@@" draws one '@'.
std::string label_of(std::string_view text) {
  std::string label;
  for (char c : utf8_of(text)) {
    label += c;
    if (c == '@')
      label += '@';
  }
  return label;
}

Fl_Color fl_colour_of(colour c) {
  return fl_rgb_color(static_cast<uchar>(c & 0xFF), static_cast<uchar>((c >> 8) & 0xFF),
                      static_cast<uchar>((c >> 16) & 0xFF));
}

void send_to_display() {
  if (fl_display)
    XFlush(fl_display);
}

bool overlaps(int ax, int ay, int aw, int ah, int bx, int by, int bw, int bh) {
  return ax < bx + bw && bx < ax + aw && ay < by + bh && by < ay + ah;
}

} // namespace

// ---------------------------------------------------------------------------
// The FLTK widgets

// A top-level window: its content is the emulated client area.
class top_window final : public Fl_Window {
public:
  top_window(fltk_window_system& owner, window_handle handle, int x, int y, int width, int height)
      : Fl_Window(x, y, width, height), owner_(owner), handle_(handle) {
    end(); // children are added explicitly, never by construction
    callback([](Fl_Widget* w, void*) {
      auto* self = static_cast<top_window*>(w);
      self->owner_.close_requested(self->handle_);
    });
  }

  window_handle record() const { return handle_; }

  int handle(int event) override {
    switch (event) {
    case FL_KEYDOWN:
    case FL_SHORTCUT:
      // Every key is the installer's: none moves FLTK's focus between the
      // buttons, presses one, or closes the window (Escape).
      owner_.key_pressed(handle_, Fl::event_key(), Fl::event_text(), Fl::event_state());
      return 1;
    case FL_KEYUP:
      return 1;
    case FL_FOCUS:
    case FL_UNFOCUS:
      return 1; // the window itself holds the keyboard, never a button
    case FL_SHOW:
    case FL_HIDE: {
      const int handled = Fl_Window::handle(event);
      owner_.mapped(handle_, event == FL_SHOW);
      return handled;
    }
    default:
      return Fl_Window::handle(event);
    }
  }

  // Called by FLTK for exposure (and for a damaged button alone, which needs
  // nothing from the installer).
  void draw() override {
    if ((damage() & ~FL_DAMAGE_CHILD) != 0)
      owner_.exposed(handle_);
    Fl_Window::draw();
  }

private:
  fltk_window_system& owner_;
  window_handle handle_;
};

// A push button; the default push button gets a black frame around it, as
// Win32 draws it. Never takes the keyboard focus.
class push_button final : public Fl_Button {
public:
  push_button(fltk_window_system& owner, window_handle handle, int x, int y, int width, int height)
      : Fl_Button(x, y, width, height), owner_(owner), handle_(handle) {
    clear_visible_focus();
    callback([](Fl_Widget* w, void*) {
      auto* self = static_cast<push_button*>(w);
      self->owner_.clicked(self->handle_);
    });
  }

  void set_default(bool is_default) {
    if (is_default == default_)
      return;
    default_ = is_default;
    redraw();
  }

  // Draws the button now, into the current window.
  void draw_now() { draw(); }

  int handle(int event) override {
    switch (event) {
    case FL_FOCUS:    // asked for on every click
    case FL_KEYBOARD: // Space would press the button
    case FL_SHORTCUT: // a '&' letter of the caption would press it
      return 0;
    default:
      return Fl_Button::handle(event);
    }
  }

protected:
  void draw() override {
    if (!default_) {
      Fl_Button::draw();
      return;
    }
    // Win32's look: the usual button, one pixel smaller, in a black frame.
    const int left = x(), top = y(), width = w(), height = h();
    x(left + 1);
    y(top + 1);
    w(width - 2);
    h(height - 2);
    Fl_Button::draw();
    x(left);
    y(top);
    w(width);
    h(height);
    fl_color(FL_BLACK);
    fl_rect(left, top, width, height);
  }

private:
  fltk_window_system& owner_;
  window_handle handle_;
  bool default_ = false;
};

// ---------------------------------------------------------------------------
// What FLTK's events give the emulated system

void fltk_window_system::exposed(window_handle w) {
  invalidate(w);
  input_posted_ = true;
}

void fltk_window_system::key_pressed(window_handle, int fltk_key, const char* text,
                                     int fltk_state) {
  const key_press press = translate_key(fltk_key, text ? text : "", fltk_state);
  if (press.key == 0)
    return;
  post_key_down(press.key, press.typed, press.modifiers);
  input_posted_ = true;
}

void fltk_window_system::close_requested(window_handle w) {
  post_message(w, msg::sys_command, sc_close, 0);
  input_posted_ = true;
}

void fltk_window_system::clicked(window_handle button) {
  const window_record* b = find(button);
  if (!b)
    return;
  post_message(b->parent, msg::command, static_cast<wparam>(b->id & 0xFFFF),
               static_cast<lparam>(button));
  input_posted_ = true;
}

// The desktop minimised (unmapped) or restored (mapped) the window.
void fltk_window_system::mapped(window_handle w, bool shown) {
  window_record* r = find(w);
  if (!r || hiding_)
    return;
  if (!shown && r->visible && !r->iconic) {
    r->iconic = true;
  } else if (shown && r->iconic) {
    r->iconic = false;
    exposed(w);
  }
}

// ---------------------------------------------------------------------------
// Input

fltk_window_system::fltk_window_system(const resource_table& resources)
    : emulated_window_system(resources) {}

fltk_window_system::~fltk_window_system() {
  for (auto& [handle, top] : tops_) {
    top->hide();
    delete top; // its buttons go with it
  }
  tops_.clear();
  buttons_.clear();
  send_to_display();
}

void fltk_window_system::poll_input() {
  Fl::check();
  // Fl::check draws what earlier events damaged before it handles new ones;
  // draw now what these damaged, so that exposure is seen at once.
  Fl::flush();
}

void fltk_window_system::wait_for_input() {
  input_posted_ = false;
  Fl::flush();
  while (!input_posted_) {
    Fl::wait();
    Fl::flush();
  }
}

// ---------------------------------------------------------------------------
// Drawing

top_window* fltk_window_system::drawable(const window_record& w, int* dx, int* dy) {
  *dx = 0;
  *dy = 0;
  const window_record* r = &w;
  while (r && r->parent != 0) {
    *dx += r->x;
    *dy += r->y;
    r = find(r->parent);
  }
  if (!r)
    return nullptr;
  auto it = tops_.find(r->handle);
  if (it == tops_.end() || !it->second->shown())
    return nullptr;
  return it->second;
}

void fltk_window_system::draw_buttons_over(top_window& top, int x, int y, int width, int height) {
  for (auto& [handle, button] : buttons_)
    if (button->parent() == &top && button->visible() &&
        overlaps(x, y, width, height, button->x(), button->y(), button->w(), button->h()))
      button->draw_now();
}

void fltk_window_system::fill(const window_record& w, const rect& r, colour c) {
  int dx = 0, dy = 0;
  top_window* top = drawable(w, &dx, &dy);
  if (!top || r.right <= r.left || r.bottom <= r.top)
    return;
  const int x = r.left + dx, y = r.top + dy;
  const int width = r.right - r.left, height = r.bottom - r.top;
  top->make_current();
  fl_color(fl_colour_of(c));
  fl_rectf(x, y, width, height);
  // A fill of the whole content is the window's background from now on: an
  // exposure shows it until the installer has repainted.
  if (x <= 0 && y <= 0 && x + width >= top->w() && y + height >= top->h())
    top->color(fl_colour_of(c));
  draw_buttons_over(*top, x, y, width, height);
  send_to_display();
}

void fltk_window_system::draw_text(const window_record& w, int x, int y, const char* text, int n) {
  int dx = 0, dy = 0;
  top_window* top = drawable(w, &dx, &dy);
  if (!top || n <= 0)
    return;
  const std::string utf8 = utf8_of(std::string_view(text, static_cast<std::size_t>(n)));
  top->make_current();
  fl_font(text_font, text_size());
  fl_color(FL_BLACK);
  const int left = x + dx, top_y = y + dy;
  fl_draw(utf8.data(), static_cast<int>(utf8.size()), left, top_y + fl_height() - fl_descent());
  draw_buttons_over(*top, left, top_y,
                    static_cast<int>(fl_width(utf8.data(), static_cast<int>(utf8.size()))) + 1,
                    fl_height());
  send_to_display();
}

extent fltk_window_system::measure_text(const char* text, int n) {
  const std::string utf8 = utf8_of(std::string_view(text, static_cast<std::size_t>(n)));
  fl_font(text_font, text_size());
  const double width = fl_width(utf8.data(), static_cast<int>(utf8.size()));
  return {static_cast<int>(width + 0.5), fl_height()};
}

// ---------------------------------------------------------------------------
// Windows

void fltk_window_system::on_window_created(const window_record& w) {
  Fl_Group::current(nullptr); // nothing is added to a group by construction
  if (w.is_button) {
    auto parent = tops_.find(w.parent);
    if (parent == tops_.end())
      return; // a button on a window without pixels of its own stays unseen
    auto* button = new push_button(*this, w.handle, w.x, w.y, w.width, w.height);
    button->copy_label(label_of(w.text).c_str());
    button->set_default(w.button_style == window_style::def_push_button);
    if ((w.style & window_style::visible) == 0)
      button->hide();
    parent->second->add(button);
    buttons_[w.handle] = button;
    button->redraw();
    return;
  }
  if (w.parent != 0)
    return; // a child of a registered class: drawn into its top-level window
  const rect client = client_area(w);
  auto* top = new top_window(*this, w.handle, w.x, w.y, client.right - client.left,
                             client.bottom - client.top);
  top->copy_label(utf8_of(w.text).c_str());
  top->xclass("Velmora");
  tops_[w.handle] = top;
  if (w.visible)
    on_window_shown(w);
}

void fltk_window_system::on_window_shown(const window_record& w) {
  if (w.is_button) {
    auto it = buttons_.find(w.handle);
    if (it == buttons_.end())
      return;
    if (w.visible) {
      it->second->show();
    } else if (it->second->visible()) {
      it->second->hide();
      invalidate(w.parent); // what the button covered is the parent's again
    }
    return;
  }
  auto it = tops_.find(w.handle);
  if (it == tops_.end())
    return;
  top_window& top = *it->second;
  if (!w.visible) {
    hiding_ = true;
    top.hide();
    hiding_ = false;
  } else if (w.iconic) {
    top.iconize();
  } else {
    top.show();
    apply_cursor(top);
    apply_focus(top);
  }
  send_to_display();
}

void fltk_window_system::on_window_destroyed(const window_record& w) {
  if (auto b = buttons_.find(w.handle); b != buttons_.end()) {
    push_button* button = b->second;
    buttons_.erase(b);
    if (Fl_Group* parent = button->parent()) {
      parent->remove(button);
      // Win32 repaints what a destroyed child covered.
      if (button->visible())
        invalidate(w.parent);
    }
    delete button;
    return;
  }
  auto t = tops_.find(w.handle);
  if (t == tops_.end())
    return;
  top_window* top = t->second;
  tops_.erase(t);
  for (auto b = buttons_.begin(); b != buttons_.end();)
    b = b->second->parent() == top ? buttons_.erase(b) : std::next(b);
  if (keyboard_window_ == w.handle)
    keyboard_window_ = 0;
  hiding_ = true;
  top->hide();
  hiding_ = false;
  delete top;
  send_to_display();
}

void fltk_window_system::on_button_style(const window_record& w) {
  if (auto it = buttons_.find(w.handle); it != buttons_.end())
    it->second->set_default(w.button_style == window_style::def_push_button);
}

void fltk_window_system::on_focus(const window_record& w) {
  const window_record* r = &w;
  while (r && r->parent != 0)
    r = find(r->parent);
  if (!r)
    return;
  keyboard_window_ = r->handle;
  if (auto it = tops_.find(r->handle); it != tops_.end())
    apply_focus(*it->second);
}

// FLTK's own focus, inside the application; the desktop's input focus is left
// to the window manager.
void fltk_window_system::apply_focus(top_window& top) {
  if (top.record() == keyboard_window_ && top.shown())
    Fl::focus(&top);
}

void fltk_window_system::on_iconic(const window_record& w) {
  auto it = tops_.find(w.handle);
  if (it == tops_.end() || !it->second->shown())
    return;
  if (w.iconic)
    it->second->iconize();
  else
    it->second->show();
  send_to_display();
}

void fltk_window_system::on_cursor(cursor_handle, int) {
  for (auto& [handle, top] : tops_)
    apply_cursor(*top);
  send_to_display();
}

void fltk_window_system::apply_cursor(top_window& top) {
  if (!top.shown())
    return;
  if (cursor_count() < 0)
    top.cursor(FL_CURSOR_NONE);
  else if (current_cursor() != 0 && current_cursor() == load_standard_cursor(standard_cursor::wait))
    top.cursor(FL_CURSOR_WAIT);
  else
    top.cursor(FL_CURSOR_DEFAULT);
}

} // namespace ui::fltk

// ---------------------------------------------------------------------------
// Opening the display

namespace ui {

std::unique_ptr<window_system> create_fltk_window_system(const resource_table& resources,
                                                         std::string* why) {
  if (!fl_display) {
    // FLTK's own fl_open_display() ends the process when it cannot connect.
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) {
      *why = "no display (DISPLAY is not set)";
      return nullptr;
    }
    Display* display = XOpenDisplay(name);
    if (!display) {
      *why = std::string("no display (DISPLAY \"") + name + "\" cannot be opened)";
      return nullptr;
    }
    fl_open_display(display);
  }
  return std::make_unique<fltk::fltk_window_system>(resources);
}

} // namespace ui
