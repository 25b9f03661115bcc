// The error log: one record per file-layer failure, appended to a fixed file.
#pragma once

#include <cstdint>

namespace sys {

// The log file. Its directory is never created: without C:\VEK nothing is logged.
inline constexpr const char* error_log_path = "C:\\VEK\\QXERROR.TXT";

// Room for one record: 12 bytes of codes and slashes, 166 message bytes, CR LF.
inline constexpr int error_record_bytes = 180;
inline constexpr int max_error_message_bytes = 166;

// Builds the record for code1, message and code2 into line (error_record_bytes
// long): the low 16 bits of code1 and of code2 as 5-character fields, each
// followed by '/', the message's bytes up to its NUL (at most 166), CR, LF.
// Returns the record's length, message length + 14.
int format_error_record(std::int32_t code1, const char* message, std::int32_t code2, char* line);

// Appends the record to the log: opens it (creating the file, never its
// directory, and only when the open of an existing log was refused, so an
// existing log is never emptied), seeks to its end, writes, closes. Returns 0 and reports nothing:
// when the log cannot be opened, sought or written, the entry is dropped
// silently, and a failure met while an entry is being written (including an
// over-large handle for the log itself) is dropped rather than logged again.
int error_log_write(std::int32_t code1, const char* message, std::int32_t code2);

} // namespace sys
