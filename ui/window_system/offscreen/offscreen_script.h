// The offscreen backend's input script: one event a line, as VELMORA_UI_SCRIPT
// holds it.
//
//   key NAME     a key-down without modifiers. NAME: Return, Escape, Tab,
//                BackSpace, Left, Up, Right, Down, Prior, Next, Home, End,
//                Insert, Delete, F1 to F12 (names as written, case counts), or
//                one letter (either case; it types its small letter) or digit
//   char N       a WM_CHAR with code N, 0 to 255
//   click ID     WM_COMMAND from the push button whose command id is ID
//   close        WM_SYSCOMMAND SC_CLOSE to the main window
//   minimize     WM_SYSCOMMAND SC_MINIMIZE to the main window
//   restore      WM_SYSCOMMAND SC_RESTORE to the main window
//   endsession   WM_QUERYENDSESSION to the main window
//   quit         the quit message (code 0)
//
// Blank lines and lines whose first non-blank is '#' are skipped; blanks
// (spaces, tabs, CR) around a line and between a word and its argument do not
// count. Anything else is an error: a script that says something unexpected
// stops the run before it starts rather than drive it differently.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ui::offscreen {

enum class script_action { key, character, click, close, minimize, restore, end_session, quit };

struct script_event {
  script_action action = script_action::quit;
  std::uint16_t key = 0;   // key: the virtual-key code
  unsigned char typed = 0; // key: the Windows-1252 character it types, 0 for none
  unsigned int value = 0;  // character: the code; click: the command id
  int line = 0;            // 1-based line of the script, for messages

  friend bool operator==(const script_event&, const script_event&) = default;
};

// The key a script name stands for: its virtual-key code and typed character.
// False for a name the script does not know.
bool script_key(std::string_view name, std::uint16_t* key, unsigned char* typed);

// Parses a whole script. On success fills *events in script order and returns
// true; on the first bad line returns false with *why naming the line number,
// the line's text and what is wrong with it.
bool parse_script(std::string_view text, std::vector<script_event>* events, std::string* why);

} // namespace ui::offscreen
