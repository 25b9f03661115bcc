// The error log: formatting and appending one record per failure.
#include "sys/error_log.h"

#include "sys/file_handle.h"
#include "sys/platform.h"
#include "sys/text_fields.h"

#include <array>

namespace sys {

namespace {

// Opens the log as the file layer's open modes read_write and then create
// would (the path needs no folding), straight through the platform so that
// the log's own failures never reach the file layer's record of the latest
// one. Only a refused open (no log yet) falls back to creating the file: an
// existing log whose handle came back too large for a file handle must not be
// emptied by a create, so that handle is closed and the entry dropped.
// invalid_handle_value when the entry is dropped.
native_handle open_log(platform& p) {
  constexpr std::uint32_t read_write = access_read | access_write;
  native_handle h =
      p.create_file(error_log_path, read_write, 0, disposition::open_existing, attribute_normal);
  if (h == invalid_handle_value)
    h = p.create_file(error_log_path, read_write, 0, disposition::create_always, attribute_normal);
  if (h != invalid_handle_value && !fits_file_handle(h)) {
    p.close_handle(h);
    return invalid_handle_value;
  }
  return h;
}

} // namespace

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
  // The log's own failures are never logged: it speaks to the platform
  // alone, never through the file layer, which logs.
  platform& p = current_platform();
  const native_handle h = open_log(p);
  if (h != invalid_handle_value) {
    std::array<char, error_record_bytes> line;
    const int length = format_error_record(code1, message, code2, line.data());
    // A failure of the seek or the write drops this entry and nothing else.
    // A log of 2 GiB or more answers the seek with a negative position and is
    // not written to any further.
    if (static_cast<std::int32_t>(p.set_file_pointer(h, 0, move_method::end)) >= 0) {
      std::uint32_t done = 0;
      p.write_file(h, line.data(), static_cast<std::uint32_t>(length), &done);
    }
    p.close_handle(h);
  }
  return 0;
}

} // namespace sys
