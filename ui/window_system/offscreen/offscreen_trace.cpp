// Writing the offscreen backend's trace.
#include "ui/window_system/offscreen/offscreen_trace.h"

#include "sys/cp1252.h"

#include <cerrno>
#include <cstring>

namespace ui::offscreen {

std::string json_string(std::string_view utf8) {
  static constexpr char hex[] = "0123456789abcdef";
  std::string out;
  out.reserve(utf8.size() + 2);
  out += '"';
  for (char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      out += "\\u00";
      out += hex[byte >> 4];
      out += hex[byte & 0xF];
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

namespace {
std::string text_field(std::string_view cp1252) {
  return json_string(sys::cp1252_to_utf8(cp1252));
}
} // namespace

std::string paint_event(const std::vector<drawn_text>& lines) {
  std::string out = R"({"event":"paint","lines":[)";
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0)
      out += ',';
    out += R"({"y":)" + std::to_string(lines[i].y) + R"(,"x":)" + std::to_string(lines[i].x) +
           R"(,"text":)" + text_field(lines[i].text) + '}';
  }
  return out + "]}";
}

std::string key_event(unsigned code) {
  return R"({"event":"key","code":)" + std::to_string(code) + '}';
}

std::string default_button_event(int slot) {
  return R"({"event":"default-button","slot":)" + std::to_string(slot) + '}';
}

std::string button_event(std::string_view op, int id, std::string_view text) {
  return R"({"event":"button","op":)" + json_string(op) + R"(,"id":)" + std::to_string(id) +
         R"(,"text":)" + text_field(text) + '}';
}

std::string window_event(std::string_view op, std::string_view title) {
  return R"({"event":"window","op":)" + json_string(op) + R"(,"title":)" + text_field(title) + '}';
}

std::string script_exhausted_event() {
  return R"({"event":"script-exhausted"})";
}

std::unique_ptr<trace_file> trace_file::open(const std::string& path, std::string* why) {
  std::FILE* f = std::fopen(path.c_str(), "ab");
  if (!f) {
    *why = "cannot open the trace " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  return std::unique_ptr<trace_file>(new trace_file(f));
}

trace_file::~trace_file() {
  std::fclose(file_);
}

void trace_file::write(std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fputc('\n', file_);
  std::fflush(file_);
}

} // namespace ui::offscreen
