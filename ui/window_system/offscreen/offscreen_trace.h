// The offscreen backend's trace: JSON Lines appended to VELMORA_UI_TRACE, one
// event an object, fields in a fixed order, each line flushed as it is written
// so that a run that ends abruptly leaves every event before its end.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ui::offscreen {

// A JSON string literal of UTF-8 text: quotes and backslashes escaped, every
// control character below 0x20 as \u00XX; all other bytes as they are.
std::string json_string(std::string_view utf8);

// One text_out of a paint: Windows-1252 text, top-left corner at (x, y).
struct drawn_text {
  int x = 0, y = 0;
  std::string text;
};

// The trace lines, without their line end. Texts are given in Windows-1252,
// as the window system holds them, and written in UTF-8.
std::string paint_event(const std::vector<drawn_text>& lines);
std::string key_event(unsigned code);
std::string default_button_event(int slot);
std::string button_event(std::string_view op, int id, std::string_view text);
std::string window_event(std::string_view op, std::string_view title);
std::string script_exhausted_event();

// The trace file, opened for appending.
class trace_file {
public:
  // nullptr, with the reason in *why, when the file cannot be opened.
  static std::unique_ptr<trace_file> open(const std::string& path, std::string* why);
  ~trace_file();
  trace_file(const trace_file&) = delete;
  trace_file& operator=(const trace_file&) = delete;

  // Appends the line and a line end and flushes. A failed write is not
  // reported: the trace is an observer and must not change the run.
  void write(std::string_view line);

private:
  explicit trace_file(std::FILE* f) : file_(f) {}
  std::FILE* file_;
};

} // namespace ui::offscreen
