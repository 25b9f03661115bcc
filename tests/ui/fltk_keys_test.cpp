// FLTK key presses as virtual-key codes, typed characters and modifiers.
#include "ui/window_system/fltk/fltk_keys.h"

#include "ui/accelerators.h"
#include "ui/window_system.h"
#include "ui/window_system/emulated/emulated_window_system.h"

#include <FL/Enumerations.H>

#include <gtest/gtest.h>

#include <set>

namespace {

using ui::fltk::key_press;
using ui::fltk::translate_key;
using ui::fltk::virtual_key;

TEST(FltkKeys, NamedKeysHaveTheirVirtualKeyCodes) {
  EXPECT_EQ(virtual_key(FL_Enter), 0x0D);
  EXPECT_EQ(virtual_key(FL_KP_Enter), 0x0D);
  EXPECT_EQ(virtual_key(FL_Escape), 0x1B);
  EXPECT_EQ(virtual_key(FL_Tab), 0x09);
  EXPECT_EQ(virtual_key(FL_BackSpace), 0x08);
  EXPECT_EQ(virtual_key(FL_Left), 0x25);
  EXPECT_EQ(virtual_key(FL_Up), 0x26);
  EXPECT_EQ(virtual_key(FL_Right), 0x27);
  EXPECT_EQ(virtual_key(FL_Down), 0x28);
  EXPECT_EQ(virtual_key(FL_Page_Up), 0x21);
  EXPECT_EQ(virtual_key(FL_Page_Down), 0x22);
  EXPECT_EQ(virtual_key(FL_Home), 0x24);
  EXPECT_EQ(virtual_key(FL_End), 0x23);
  EXPECT_EQ(virtual_key(FL_Insert), 0x2D);
  EXPECT_EQ(virtual_key(FL_Delete), 0x2E);
  EXPECT_EQ(virtual_key(' '), 0x20);
}

TEST(FltkKeys, FunctionKeysRunFromF1) {
  for (int n = 1; n <= 12; ++n)
    EXPECT_EQ(virtual_key(FL_F + n), 0x70 + n - 1) << "F" << n;
  EXPECT_EQ(virtual_key(FL_F), 0); // FL_F itself is no key
}

TEST(FltkKeys, LettersAreCapitalsAndDigitsThemselves) {
  // FLTK names letter keys by their small letter, whatever Shift does.
  EXPECT_EQ(virtual_key('a'), 'A');
  EXPECT_EQ(virtual_key('z'), 'Z');
  EXPECT_EQ(virtual_key('Q'), 'Q');
  EXPECT_EQ(virtual_key('0'), '0');
  EXPECT_EQ(virtual_key('9'), '9');
  EXPECT_EQ(virtual_key(FL_KP + '7'), 0x67); // VK_NUMPAD7, not the digit row
}

TEST(FltkKeys, EveryAcceleratorKeyCanBePressed) {
  std::set<int> reachable;
  for (int k = 0; k <= 0xFFFF; ++k)
    if (const auto vk = virtual_key(k))
      reachable.insert(vk);
  for (const auto& entry : ui::zoracc)
    EXPECT_TRUE(reachable.count(entry.key)) << "no FLTK key gives " << entry.key;
}

TEST(FltkKeys, ModifiersBecomeAcceleratorFlags) {
  EXPECT_EQ(translate_key('a', "A", FL_SHIFT).modifiers, ui::accel_flag::shift);
  EXPECT_EQ(translate_key('a', "", FL_CTRL | FL_ALT).modifiers,
            ui::accel_flag::control | ui::accel_flag::alt);
  // Lock keys and the Windows key are no modifiers of the accelerator table.
  EXPECT_EQ(translate_key(FL_Escape, "\x1b", FL_CAPS_LOCK | FL_NUM_LOCK | FL_META).modifiers, 0);
}

TEST(FltkKeys, ControlKeysTypeTheirCodes) {
  EXPECT_EQ(translate_key(FL_Enter, "\r", 0).typed, 13);
  EXPECT_EQ(translate_key(FL_KP_Enter, "\r", 0).typed, 13);
  EXPECT_EQ(translate_key(FL_Escape, "\x1b", 0).typed, 27);
  EXPECT_EQ(translate_key(FL_Tab, "\t", 0).typed, 9);
  EXPECT_EQ(translate_key(FL_BackSpace, "\b", 0).typed, 8);
  // Shift+Escape misses the accelerator table; the character then counts.
  const key_press shifted = translate_key(FL_Escape, "\x1b", FL_SHIFT);
  EXPECT_EQ(shifted.typed, 27);
  EXPECT_EQ(ui::emulated::find_accelerator(ui::zoracc, shifted.key, shifted.modifiers), 0);
  EXPECT_EQ(ui::emulated::find_accelerator(ui::zoracc, translate_key(FL_Escape, "\x1b", 0).key, 0),
            258);
}

TEST(FltkKeys, KeysWithoutCharacterTypeNothing) {
  // X11 reports text for some of these; Windows types nothing for them.
  EXPECT_EQ(translate_key(FL_Delete, "\x7f", 0).typed, 0);
  EXPECT_EQ(translate_key(FL_Left, "", 0).typed, 0);
  EXPECT_EQ(translate_key(FL_F + 5, "", 0).typed, 0);
  EXPECT_EQ(translate_key(FL_Shift_L, "", FL_SHIFT).typed, 0);
  EXPECT_EQ(translate_key(FL_Home, "", 0).key, 0x24);
}

TEST(FltkKeys, TypedTextBecomesWindows1252) {
  EXPECT_EQ(translate_key('a', "a", 0).typed, 'a');
  EXPECT_EQ(translate_key('a', "A", FL_SHIFT).typed, 'A');
  EXPECT_EQ(translate_key('1', "!", FL_SHIFT).typed, '!');
  EXPECT_EQ(translate_key(' ', " ", 0).typed, ' ');
  EXPECT_EQ(translate_key('e', "\xe2\x82\xac", 0).typed, 0x80); // € (AltGr+E)
  EXPECT_EQ(translate_key(FL_KP + '7', "7", 0).typed, '7');
}

TEST(FltkKeys, NationalLettersArriveAsPackets) {
  // The Swedish ä key: no virtual-key code here, but it types ä.
  const key_press a_umlaut = translate_key(0xE4, "\xc3\xa4", 0);
  EXPECT_EQ(a_umlaut.key, ui::fltk::vk_packet);
  EXPECT_EQ(a_umlaut.typed, 0xE4);
  // A character Windows-1252 lacks (Greek omega) types nothing: no key at all.
  const key_press omega = translate_key(0x7D9, "\xce\xa9", 0);
  EXPECT_EQ(omega.key, 0);
  EXPECT_EQ(omega.typed, 0);
  // Two characters at once (a composed sequence) are not one key's character.
  EXPECT_EQ(translate_key(0xE4, "\xc3\xa4\xc3\xa4", 0).typed, 0);
}

TEST(FltkKeys, ControlLettersTypeControlCodes) {
  // Ctrl+A, B and C type 1, 2 and 3, which the installer takes as its buttons.
  EXPECT_EQ(translate_key('a', "\x01", FL_CTRL).typed, 1);
  EXPECT_EQ(translate_key('b', "", FL_CTRL).typed, 2);
  EXPECT_EQ(translate_key('c', "c", FL_CTRL | FL_SHIFT).typed, 3);
  EXPECT_EQ(translate_key('z', "\x1a", FL_CTRL).typed, 26);
  EXPECT_EQ(translate_key('5', "5", FL_CTRL).typed, 0);
  EXPECT_EQ(translate_key(FL_Enter, "\r", FL_CTRL).typed, 10);
}

TEST(FltkKeys, AltTypesNothing) {
  const key_press alt_a = translate_key('a', "a", FL_ALT);
  EXPECT_EQ(alt_a.key, 'A');
  EXPECT_EQ(alt_a.typed, 0);
}

} // namespace
