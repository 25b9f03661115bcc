// Status codes in words, for the people who run the packager.
#pragma once

namespace cli {

// A sentence (English, no final period) saying what an engine status code
// (archive/run_archive_command.h) means; for an unknown code, "unknown status".
const char* status_text(int code);

} // namespace cli
