// Between the host's paths and texts and the engine's drive-form
// Windows-1252 ones, and a record of which path the engine failed on.
#pragma once

#include "archive/run_archive_command.h"
#include "sys/forwarding_platform.h"

#include <cstdint>
#include <string>

namespace cli {

// A host path (relative or absolute) in drive form. A trailing separator
// keeps a trailing backslash. False, with a message in *error, when no drive
// holds it or it is too long.
bool drive_path(const std::string& host, std::string* out, std::string* error);

// A command-line argument as the engine takes it: a native absolute path
// (starting with '/') is turned into drive form; anything else, such as
// C:\DIR\***, only changes encoding.
bool engine_argument(const std::string& arg, std::string* out, std::string* error);

// System text (Windows-1252) for people to read.
std::string host_text(const char* system_text);

// A Win32 error number in words ("access denied").
std::string error_words(std::uint32_t error);

// What an engine call's failure report says, for people: the path in host
// form where it can be had, and the reason in words; "" for an empty report.
std::string describe_failure(const archive::failure_report& report);

// Installed for the length of an engine call: remembers the last path whose
// open or creation the platform refused, and why.
class failure_recorder final : public sys::forwarding_platform {
public:
  failure_recorder();
  ~failure_recorder() override;
  failure_recorder(const failure_recorder&) = delete;
  failure_recorder& operator=(const failure_recorder&) = delete;

  bool failed() const { return !path_.empty(); }
  // The failing path (host form when it can be had) and the reason in words.
  std::string describe() const;

  sys::native_handle create_file(const char* path, std::uint32_t access, std::uint32_t share,
                                 sys::disposition how, std::uint32_t attributes) override;
  sys::native_handle create_file_below(const char* base_dir, const char* relative,
                                       std::uint32_t access, std::uint32_t share,
                                       sys::disposition how, std::uint32_t attributes) override;
  std::FILE* open_read_stream(const char* path) override;

private:
  void note(const char* path);
  sys::platform* previous_;
  std::string path_;
  std::uint32_t error_ = 0;
};

} // namespace cli
