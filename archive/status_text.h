// Status codes in words, for the people who run the packager.
#pragma once

namespace archive {

// A sentence (English, no final period) saying what status code means; for
// an unknown code, "unknown status".
const char* status_text(int code);

} // namespace archive
