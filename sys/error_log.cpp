// The error log: formatting and appending one record per failure.
#include "sys/error_log.h"

#include "sys/file_layer.h"
#include "sys/platform.h"
#include "sys/text_fields.h"

#include <array>

namespace sys {

int format_error_record(std::int32_t code1, const char* message, std::int32_t code2, char* line) {
  format_unsigned_field(code1, 5, line);
  line[5] = '/';
  format_unsigned_field(code2, 5, line + 6);
  line[11] = '/';
  int n = 0;
  while (n < max_error_message_bytes && message[n] != '\0') {
    line[12 + n] = message[n];
    ++n;
  }
  line[12 + n] = '\r';
  line[13 + n] = '\n';
  return n + 14;
}

int error_log_write(std::int32_t code1, const char* message, std::int32_t code2) {
  // Set while one entry is being written. The log's own failures cannot be
  // logged (the file cannot be opened, or this entry holds it unshared), so a
  // nested call, such as the over-large-handle record of the log's own open,
  // is dropped instead of recursing.
  static bool writing = false;
  if (writing)
    return 0;
  writing = true;

  // Only a refused open (no log yet) falls back to creating the file: an
  // existing log whose handle came back over-large must not be emptied by a
  // create, so that entry is dropped instead.
  file_handle log = file_open(error_log_path, open_mode::read_write);
  if (log == refused_handle)
    log = file_open(error_log_path, open_mode::create);
  if (log >= 0) {
    std::array<char, error_record_bytes> line;
    const int length = format_error_record(code1, message, code2, line.data());
    // The seek and the write go to the platform directly: a failure of either
    // drops this entry and nothing else. A log of 2 GiB or more answers the
    // seek with a negative position and is not written to any further.
    platform& p = current_platform();
    const native_handle h = static_cast<native_handle>(log);
    if (static_cast<std::int32_t>(p.set_file_pointer(h, 0, move_method::end)) >= 0) {
      std::uint32_t done = 0;
      p.write_file(h, line.data(), static_cast<std::uint32_t>(length), &done);
    }
    p.close_handle(h);
  }

  writing = false;
  return 0;
}

} // namespace sys
