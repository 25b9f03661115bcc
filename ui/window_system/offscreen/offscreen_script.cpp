// Parsing the offscreen backend's input script.
#include "ui/window_system/offscreen/offscreen_script.h"

#include "ui/window_system.h"

#include <array>
#include <utility>

namespace ui::offscreen {

namespace {

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && is_blank(s.front()))
    s.remove_prefix(1);
  while (!s.empty() && is_blank(s.back()))
    s.remove_suffix(1);
  return s;
}

// Splits "word argument" at the first run of blanks; the argument is empty
// when there is none. The line is trimmed already.
std::pair<std::string_view, std::string_view> split_word(std::string_view line) {
  std::size_t end = 0;
  while (end < line.size() && !is_blank(line[end]))
    ++end;
  return {line.substr(0, end), trim(line.substr(end))};
}

// A decimal number of at most limit, digits only (no sign, no blanks inside).
bool parse_number(std::string_view text, unsigned int limit, unsigned int* value) {
  if (text.empty())
    return false;
  unsigned long long n = 0;
  for (char c : text) {
    if (c < '0' || c > '9')
      return false;
    n = n * 10 + static_cast<unsigned>(c - '0');
    if (n > limit)
      return false;
  }
  *value = static_cast<unsigned int>(n);
  return true;
}

struct named_key {
  std::string_view name;
  std::uint16_t key;
  unsigned char typed;
};

// The named keys and what each types, as a Win32 keyboard gives them.
constexpr std::array<named_key, 14> named_keys{{
    {"Return", vk::enter, 13},
    {"Escape", vk::escape, 27},
    {"Tab", vk::tab, 9},
    {"BackSpace", vk::back, 8},
    {"Left", vk::left, 0},
    {"Up", vk::up, 0},
    {"Right", vk::right, 0},
    {"Down", vk::down, 0},
    {"Prior", vk::prior, 0},
    {"Next", vk::next, 0},
    {"Home", vk::home, 0},
    {"End", vk::end, 0},
    {"Insert", vk::insert, 0},
    {"Delete", vk::del, 0},
}};

// The events without an argument.
constexpr std::array<std::pair<std::string_view, script_action>, 5> bare_events{{
    {"close", script_action::close},
    {"minimize", script_action::minimize},
    {"restore", script_action::restore},
    {"endsession", script_action::end_session},
    {"quit", script_action::quit},
}};

// One non-blank, non-comment line; *why says what is wrong when it fails.
bool parse_line(std::string_view line, script_event* event, std::string* why) {
  const auto [word, argument] = split_word(line);
  if (word == "key") {
    if (argument.empty()) {
      *why = "key without a key name";
      return false;
    }
    if (!script_key(argument, &event->key, &event->typed)) {
      *why = "unknown key name '" + std::string(argument) + "'";
      return false;
    }
    event->action = script_action::key;
    return true;
  }
  if (word == "char") {
    if (!parse_number(argument, 255, &event->value)) {
      *why = "char needs a decimal code from 0 to 255";
      return false;
    }
    event->action = script_action::character;
    return true;
  }
  if (word == "click") {
    if (!parse_number(argument, 0xFFFF, &event->value)) {
      *why = "click needs a decimal command id from 0 to 65535";
      return false;
    }
    event->action = script_action::click;
    return true;
  }
  for (const auto& [name, action] : bare_events) {
    if (word != name)
      continue;
    if (!argument.empty()) {
      *why = std::string(word) + " takes no argument";
      return false;
    }
    event->action = action;
    return true;
  }
  *why = "unknown event '" + std::string(word) + "'";
  return false;
}

} // namespace

bool script_key(std::string_view name, std::uint16_t* key, unsigned char* typed) {
  for (const auto& k : named_keys)
    if (k.name == name) {
      *key = k.key;
      *typed = k.typed;
      return true;
    }
  if (name.size() == 1) {
    const char c = name[0];
    if (c >= '0' && c <= '9') {
      *key = static_cast<std::uint16_t>(c);
      *typed = static_cast<unsigned char>(c);
      return true;
    }
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
      const char small = c >= 'a' ? c : static_cast<char>(c + ('a' - 'A'));
      *key = static_cast<std::uint16_t>(small - ('a' - 'A')); // VK_A..VK_Z: the capitals
      *typed = static_cast<unsigned char>(small);
      return true;
    }
    return false;
  }
  // F1 to F12: VK_F1 (0x70) onwards; they type nothing.
  if (name.size() >= 2 && name.size() <= 3 && name[0] == 'F' && name[1] != '0') {
    unsigned int n = 0;
    if (parse_number(name.substr(1), 12, &n) && n >= 1) {
      *key = static_cast<std::uint16_t>(vk::f1 + n - 1);
      *typed = 0;
      return true;
    }
  }
  return false;
}

bool parse_script(std::string_view text, std::vector<script_event>* events, std::string* why) {
  events->clear();
  int number = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view raw = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++number;
    const std::string_view line = trim(raw);
    if (line.empty() || line.front() == '#')
      continue;
    script_event event;
    event.line = number;
    std::string reason;
    if (!parse_line(line, &event, &reason)) {
      *why = "line " + std::to_string(number) + " \"" + std::string(line) + "\": " + reason;
      events->clear();
      return false;
    }
    events->push_back(event);
  }
  return true;
}

} // namespace ui::offscreen
