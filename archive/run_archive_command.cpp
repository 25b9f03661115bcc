// The engine's entry: common preparation, dispatch by command, result block.
#include "archive/run_archive_command.h"

#include "archive/engine_call.h"
#include "sys/file_layer.h"
#include "sys/platform.h"
#include "sys/text_fields.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

namespace archive {

namespace {

void copy_text(std::array<char, 260>& to, const char* from) {
  to.fill('\0');
  if (from != nullptr)
    std::memcpy(to.data(), from, strnlen(from, to.size() - 1));
}

} // namespace

int engine_call::fail(int status, failure_reason why, const char* path, std::uint32_t error,
                      const char* other, std::uint32_t offset) {
  if (report != nullptr) {
    report->reason = why;
    report->error = error;
    copy_text(report->path, path);
    copy_text(report->other, other);
    report->offset = offset;
  }
  return status;
}

int engine_call::fail_platform(int status, const char* path) {
  return fail(status, failure_reason::platform, path, sys::file_last_error());
}

namespace {

using handler = int (*)(engine_call&);

// The 'P' commands by their second character.
struct p_command {
  char letter;
  handler run;
  int out_of_memory_status; // when the call's memory cannot be had
};

constexpr std::array<p_command, 6> p_commands{{
    {'I', extract_payload, status::source_open_failed},
    {'J', extract_payload, status::source_open_failed},
    {'U', build_payload, status::archive_create_failed},
    {'V', build_payload, status::archive_create_failed},
    {'B', decompress_test, status::codec_input_failed},
    {'C', compress_test, status::compress_input_failed},
}};

// Every command whose first character is not 'P' packs a ZIP file.
constexpr p_command zip_command{'\0', write_zip, status::zip_create_failed};

void fill_result_block(int code, std::uint8_t* result) {
  result[0] = 0;
  result[1] = 5;
  result[2] = 0;
  sys::format_unsigned_field(code, 5, reinterpret_cast<char*>(result + 3));
  result[8] = 0;
}

// Recursion check: the first '*' within the first 200 characters, when it
// starts "***", sets the flag and turns the text into "*.*" there.
bool check_recursion(char* spec) {
  for (int i = 0; i < max_spec_chars && spec[i] != '\0'; ++i) {
    if (spec[i] != '*')
      continue;
    if (spec[i + 1] == '*' && spec[i + 2] == '*') {
      spec[i + 1] = '.';
      return true;
    }
    return false;
  }
  return false;
}

// Copies the command: up to the first NUL or CR within 200 characters (the
// terminator becomes a NUL), then the ten bytes behind the terminator.
void copy_command(const char* command, engine_call& call) {
  int n = 0;
  while (n < max_command_scan && command[n] != '\0' && command[n] != '\r') {
    call.command[static_cast<std::size_t>(n)] = command[n];
    ++n;
  }
  call.command[static_cast<std::size_t>(n)] = '\0';
  call.has_terminator = n < max_command_scan;
  const bool with_stub = n >= 3 && command[0] == 'P' && command[2] == 'A';
  if (with_stub && call.has_terminator)
    std::memcpy(call.trailer.data(), command + n + 1, trailer_bytes);
}

int run(const char* source, char* spec, const char* command, progress_hook hook,
        failure_report* report, engine_options options) {
  engine_call call;
  call.source = source;
  call.spec = spec;
  call.hook = hook;
  call.report = report;
  call.exact = options.exact;
  call.jobs = std::clamp(options.jobs, 1u, max_build_jobs);
  call.stored_prefix = options.stored_prefix;
  call.zip_date_limit = options.zip_date_limit;
  copy_command(command, call);
  call.recursive = check_recursion(spec);
  call.spec_too_long = strnlen(spec, max_spec_chars + 1) > max_spec_chars;

  const p_command* chosen = &zip_command;
  if (command[0] == 'P') {
    chosen = nullptr;
    for (const auto& c : p_commands)
      if (c.letter == command[1])
        chosen = &c;
    if (chosen == nullptr)
      return status::unknown_command;
  }

  try {
    std::array<char, max_spec_chars + 1> folded{};
    if (call.exact)
      std::memcpy(folded.data(), spec, strnlen(spec, max_spec_chars));
    else
      sys::fold_name_copy(folded.data(), spec, 0, max_spec_chars);
    call.slots.append(folded.data(), static_cast<int>(std::strlen(folded.data())));
    call.read_area.reset(new std::uint8_t[work_area_bytes]);
    call.record_area.reset(new std::uint8_t[work_area_bytes]);
    return chosen->run(call);
  } catch (const std::bad_alloc&) {
    return chosen->out_of_memory_status;
  }
}

} // namespace

int run_archive_command(const char* source, char* spec, const char* command, std::uint8_t* result,
                        progress_hook hook, failure_report* report, engine_options options) {
  if (report != nullptr)
    *report = failure_report{};
  const int code = run(source, spec, command, hook, report, options);
  fill_result_block(code, result);
  return code;
}

} // namespace archive
