// FLTK key numbers to Win32 virtual-key codes and typed characters.
#include "ui/window_system/fltk/fltk_keys.h"

#include "sys/cp1252.h"
#include "ui/window_system.h"

#include <FL/Enumerations.H>

#include <string>

namespace ui::fltk {

namespace {

struct key_entry {
  int fltk_key;
  std::uint16_t key;
};

// The named keys. Letters, digits, the keypad and the function keys are
// ranges, handled in virtual_key.
constexpr key_entry named_keys[] = {
    {FL_BackSpace, vk::back},
    {FL_Tab, vk::tab},
    {FL_Enter, vk::enter},
    {FL_KP_Enter, vk::enter},
    {FL_Pause, 0x13},       // VK_PAUSE
    {FL_Scroll_Lock, 0x91}, // VK_SCROLL
    {FL_Escape, vk::escape},
    {FL_Home, vk::home},
    {FL_Left, vk::left},
    {FL_Up, vk::up},
    {FL_Right, vk::right},
    {FL_Down, vk::down},
    {FL_Page_Up, vk::prior},
    {FL_Page_Down, vk::next},
    {FL_End, vk::end},
    {FL_Print, 0x2C}, // VK_SNAPSHOT
    {FL_Insert, vk::insert},
    {FL_Menu, 0x5D}, // VK_APPS
    {FL_Help, 0x2F}, // VK_HELP
    {FL_Num_Lock, 0x90},
    {FL_Shift_L, vk::shift},
    {FL_Shift_R, vk::shift},
    {FL_Control_L, vk::control},
    {FL_Control_R, vk::control},
    {FL_Caps_Lock, 0x14}, // VK_CAPITAL
    {FL_Meta_L, 0x5B},    // VK_LWIN
    {FL_Meta_R, 0x5C},    // VK_RWIN
    {FL_Alt_L, vk::menu},
    {FL_Alt_R, vk::menu},
    {FL_Delete, vk::del},
    {' ', vk::space},
    // The punctuation keys of the US layout (VK_OEM_*).
    {';', 0xBA},
    {'=', 0xBB},
    {',', 0xBC},
    {'-', 0xBD},
    {'.', 0xBE},
    {'/', 0xBF},
    {'`', 0xC0},
    {'[', 0xDB},
    {'\\', 0xDC},
    {']', 0xDD},
    {'\'', 0xDE},
    // The keypad's operators (VK_MULTIPLY ... VK_DIVIDE).
    {FL_KP + '*', 0x6A},
    {FL_KP + '+', 0x6B},
    {FL_KP + '-', 0x6D},
    {FL_KP + '.', 0x6E},
    {FL_KP + '/', 0x6F},
};

constexpr std::uint16_t vk_numpad0 = 0x60;
constexpr int function_keys = 24; // F1 to F24: 0x70 to 0x87

// FLTK numbers its non-character keys from 0xFE00 up (mouse buttons, the
// function range, the keypad); the keypad's digits and operators type.
bool is_keypad(int fltk_key) {
  return fltk_key > FL_KP && fltk_key <= FL_KP_Last;
}
bool types_nothing_by_itself(int fltk_key) {
  return fltk_key >= 0xFE00 && !(is_keypad(fltk_key) && fltk_key != FL_KP_Enter);
}

} // namespace

std::uint16_t virtual_key(int fltk_key) {
  if (fltk_key >= 'a' && fltk_key <= 'z')
    return static_cast<std::uint16_t>(fltk_key - 'a' + 'A');
  if ((fltk_key >= 'A' && fltk_key <= 'Z') || (fltk_key >= '0' && fltk_key <= '9'))
    return static_cast<std::uint16_t>(fltk_key);
  if (fltk_key >= FL_KP + '0' && fltk_key <= FL_KP + '9')
    return static_cast<std::uint16_t>(vk_numpad0 + (fltk_key - FL_KP - '0'));
  if (fltk_key > FL_F && fltk_key <= FL_F + function_keys)
    return static_cast<std::uint16_t>(vk::f1 + (fltk_key - FL_F - 1));
  for (const auto& e : named_keys)
    if (e.fltk_key == fltk_key)
      return e.key;
  return 0;
}

std::uint8_t modifier_flags(int fltk_state) {
  std::uint8_t flags = 0;
  if (fltk_state & FL_SHIFT)
    flags |= accel_flag::shift;
  if (fltk_state & FL_CTRL)
    flags |= accel_flag::control;
  if (fltk_state & FL_ALT)
    flags |= accel_flag::alt;
  return flags;
}

namespace {

unsigned char typed_character(int fltk_key, std::string_view text, std::uint8_t modifiers) {
  if (modifiers & accel_flag::alt)
    return 0;
  const bool control = (modifiers & accel_flag::control) != 0;
  switch (fltk_key) {
  case FL_Enter:
  case FL_KP_Enter:
    return control ? 10 : 13;
  case FL_BackSpace:
    return control ? 127 : 8;
  case FL_Escape:
    return 27;
  case FL_Tab:
    return 9;
  default:
    break;
  }
  if (types_nothing_by_itself(fltk_key))
    return 0;
  if (control) {
    const std::uint16_t key = virtual_key(fltk_key);
    if (key >= 'A' && key <= 'Z')
      return static_cast<unsigned char>(key - 'A' + 1);
    return key == vk::space ? ' ' : 0;
  }
  bool lossless = false;
  const std::string converted = sys::utf8_to_cp1252(text, &lossless);
  if (!lossless || converted.size() != 1)
    return 0;
  const auto c = static_cast<unsigned char>(converted[0]);
  return c < 0x20 || c == 0x7F ? 0 : c;
}

} // namespace

key_press translate_key(int fltk_key, std::string_view text, int fltk_state) {
  key_press press;
  press.modifiers = modifier_flags(fltk_state);
  press.typed = typed_character(fltk_key, text, press.modifiers);
  press.key = virtual_key(fltk_key);
  if (press.key == 0 && press.typed != 0)
    press.key = vk_packet;
  return press;
}

} // namespace ui::fltk
