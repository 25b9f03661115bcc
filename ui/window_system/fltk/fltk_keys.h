// FLTK key presses as the emulated window system takes them: the Win32
// virtual-key code, the Windows-1252 character the press types and the
// modifiers held. Pure functions over FLTK's key numbers and state bits; no
// display is needed.
#pragma once

#include <cstdint>
#include <string_view>

namespace ui::fltk {

// The code given to a key that types a character but has no virtual-key code
// of its own here (a national letter such as the Swedish ä key): VK_PACKET,
// Win32's code for "a character typed as if by a key".
inline constexpr std::uint16_t vk_packet = 0xE7;

// One key press, ready for post_key_down.
struct key_press {
  std::uint16_t key = 0;      // virtual-key code; 0: nothing to post
  unsigned char typed = 0;    // Windows-1252 character typed, 0 for none
  std::uint8_t modifiers = 0; // accel_flag::shift, control, alt
};

// The virtual-key code of an FLTK key number (Fl::event_key()), or 0 for a key
// the table does not know. Letters map to 'A' to 'Z' whatever their case,
// digits to '0' to '9', the keypad digits to VK_NUMPAD0 to VK_NUMPAD9.
std::uint16_t virtual_key(int fltk_key);

// The accel_flag bits of FLTK's state bits (Fl::event_state()): FL_SHIFT,
// FL_CTRL and FL_ALT; every other bit is ignored.
std::uint8_t modifier_flags(int fltk_state);

// A key press from the key number, the UTF-8 text it typed (Fl::event_text())
// and the state bits, as Win32's keyboard translation would make it:
// - Enter (both), Escape, Tab and BackSpace type 13, 27, 9 and 8 (with Ctrl,
//   Enter types 10 and BackSpace 127);
// - other keys without a character (cursor, editing, function, modifier and
//   lock keys) type nothing, whatever text FLTK reports;
// - Ctrl with a letter types its control code (1 to 26), Ctrl with Space a
//   space, Ctrl with any other key nothing;
// - Alt held: nothing is typed (Win32 makes that a system character, which
//   the installer does not queue);
// - otherwise the text, when it is exactly one character Windows-1252 holds
//   and not a control character.
// A key without a virtual-key code of its own that types a character gets
// vk_packet; one that types nothing gets key 0.
key_press translate_key(int fltk_key, std::string_view text, int fltk_state);

} // namespace ui::fltk
