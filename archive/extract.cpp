// Extraction ("PI", "PJ"): unpacks the payload archive held in a file into a
// target directory.
#include "archive/chunk_codec.h"
#include "archive/engine_call.h"
#include "archive/payload_reader.h"
#include "archive/stored_name.h"
#include "sys/file_layer.h"
#include "sys/platform.h"
#include "sys/text_fields.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace archive {

namespace {

// The first directory whose creation failed other than by existing: its
// length in the text it was made from (0 for none) and the platform's error.
// Such a failure stops nothing; it shows when a file below the directory
// cannot be created, and is then the reason given.
struct directory_failure {
  int length = 0;
  std::uint32_t error = 0;

  void note(bool created, int at) {
    if (created || length != 0)
      return;
    if (const std::uint32_t why = sys::current_platform().last_error();
        why != sys::error::already_exists) {
      length = at;
      error = why;
    }
  }
};

// Creates the target directory chain: for every backslash at index 3 or
// later, the directory named by the text before it.
directory_failure create_target_chain(const char* target) {
  const int n = static_cast<int>(strnlen(target, max_target_chars));
  char prefix[max_target_chars + 1];
  directory_failure failed;
  for (int i = 3; i < n; ++i) {
    if (target[i] != '\\')
      continue;
    std::memcpy(prefix, target, static_cast<std::size_t>(i));
    prefix[i] = '\0';
    failed.note(sys::dir_create(prefix) == 0, i);
  }
  return failed;
}

// Creates the directories the output path needs below its base, in order,
// except those the previous file's path made already (the same leading
// directories). base: the path's first base_length characters.
directory_failure create_directories(output_path& path, const output_path& previous,
                                     const char* base) {
  directory_failure failed;
  int k = 0;
  while (k < path.directories && k < previous.directories &&
         path.directory_ends[static_cast<std::size_t>(k)] ==
             previous.directory_ends[static_cast<std::size_t>(k)] &&
         std::memcmp(path.text.data(), previous.text.data(),
                     static_cast<std::size_t>(path.directory_ends[static_cast<std::size_t>(k)])) ==
             0)
    ++k;
  for (; k < path.directories; ++k) {
    const auto end = static_cast<std::size_t>(path.directory_ends[static_cast<std::size_t>(k)]);
    const char saved = path.text[end];
    path.text[end] = '\0';
    failed.note(sys::dir_create_below(base, path.text.data() + path.base_length) == 0,
                static_cast<int>(end));
    path.text[end] = saved;
  }
  return failed;
}

struct extraction {
  engine_call& call;
  payload_reader reader;
  chunk_decoder decoder;
  std::uint8_t strip = 0;
  std::uint32_t compressed_total = 0;
  std::uint32_t decoded_total = 0;
  bool report_progress = false;
  output_path previous_path; // directories already made for the file before
  // The target text, folded once: the chain, the directories and the files
  // below it are all made from this same text. base is its part up to and
  // including its last backslash, the directory every output lies below.
  std::array<char, max_target_chars + 1> target{};
  std::array<char, max_target_chars + 1> base{};
  // The first directory of the target chain that could not be made (its
  // length in target, 0 for none) and why.
  directory_failure chain_failed{};

  // Unpacks one file's chunk records up to its end-of-file record into out,
  // the file at path.
  int unpack_file(sys::file_handle out, const char* path) {
    std::uint8_t* compressed = call.read_area.get() + sys::max_transfer_bytes;
    std::uint8_t* decoded = call.record_area.get();
    for (;;) {
      file_record r;
      record_start = reader.position();
      const int code = read_file_record(reader, decoder, compressed, decoded, &r);
      if (code != status::success)
        return code; // nothing of a chunk that does not decode is written
      if (r.end_of_file)
        return status::success;
      compressed_total += r.compressed;
      const std::uint32_t length = r.decoded;
      decoded_total += length;
      if (report_progress)
        call.progress(compressed_total, decoded_total);
      if (length == 0)
        continue;
      // A file that cannot take its data is no successful extraction.
      const std::int16_t written =
          sys::file_write(out, decoded, static_cast<std::uint16_t>(length));
      if (written != static_cast<std::int16_t>(length))
        return call.fail(status::output_create_failed, failure_reason::platform, path,
                         written < 0 ? sys::file_last_error() : sys::error::disk_full);
    }
  }

  // Where the record being read began: for reports of damage.
  std::uint32_t record_start = 0;

  // Reports damage met at record_start, in the file at path (or none).
  // A failed read of the archive is told as what it is.
  int damaged(int code, const char* path) {
    if (reader.failed())
      return call.fail(code, failure_reason::platform, call.source, sys::file_last_error());
    return call.fail(code, failure_reason::damaged, path, 0, nullptr, record_start);
  }

  // Reports the directory that could not be made, cutting text to it.
  int directory_refused(const directory_failure& failed, char* text) {
    text[failed.length] = '\0';
    return call.fail(status::output_create_failed, failure_reason::platform, text, failed.error);
  }

  // Refuses the stored name name[0..length) for why.
  int refuse(path_refusal why, const std::uint8_t* name, int length) {
    std::array<char, output_path_bytes> text{};
    if (why == path_refusal::unsafe_name) {
      std::memcpy(text.data(), name,
                  static_cast<std::size_t>(std::min(length, output_path_bytes - 1)));
      return call.fail(status::output_create_failed, failure_reason::unsafe_name, text.data());
    }
    // The path as far as it goes: the target and the part below the strip.
    const int target_length = static_cast<int>(strnlen(target.data(), max_target_chars));
    std::memcpy(text.data(), target.data(), static_cast<std::size_t>(target_length));
    const int rest =
        std::max(0, std::min(length - strip - 1, output_path_bytes - 1 - target_length));
    std::memcpy(text.data() + target_length, name + strip + 1, static_cast<std::size_t>(rest));
    return call.fail(status::output_create_failed, failure_reason::path_too_long, text.data());
  }

  // One file: its name record's payload, its output path, its chunks.
  int unpack_named_file(const record_header& h) {
    std::uint8_t* name = call.record_area.get();
    if (h.length > sys::max_transfer_bytes || reader.read(name, h.length) != h.length)
      return damaged(status::bad_top_record, nullptr); // a name beyond the archive's end
    output_path path;
    const path_refusal refused = make_output_path(target.data(), name, h.length, strip, path);
    if (refused != path_refusal::none)
      return refuse(refused, name, h.length);
    const directory_failure directory_failed = create_directories(path, previous_path, base.data());
    previous_path = path;
    const char* text = path.text.data();
    sys::scoped_file out(
        sys::file_open_below(base.data(), text + path.base_length, sys::open_mode::create));
    if (!out.ok() && sys::file_last_error() == sys::error::path_not_found) {
      // A directory that could not be made is the reason, not its absence.
      if (directory_failed.length > 0)
        return directory_refused(directory_failed, path.text.data());
      if (chain_failed.length > 0)
        return directory_refused(chain_failed, target.data());
    }
    if (!out.ok())
      return call.fail_platform(status::output_create_failed, text);
    const int code = unpack_file(out.get(), text);
    if (code == status::output_create_failed)
      return code;
    if (code != status::success)
      return damaged(code, text);
    // A file whose last data the system could not keep is not complete.
    if (out.close() != 0)
      return call.fail_platform(status::output_create_failed, text);
    return status::success;
  }

  // Takes the target text: refused beyond 250 characters, before anything
  // is created; folded once (unless the call is exact), so the chain and the
  // files agree.
  int take_target() {
    const std::size_t length = strnlen(call.spec, max_target_chars + 1);
    if (length > max_target_chars)
      return call.fail(status::output_create_failed, failure_reason::path_too_long, call.spec);
    if (call.exact)
      std::memcpy(target.data(), call.spec, length + 1);
    else
      sys::fold_name_copy(target.data(), call.spec, 0, max_target_chars);
    const char* last = std::strrchr(target.data(), '\\');
    const std::size_t base_length =
        last == nullptr ? 0 : static_cast<std::size_t>(last - target.data()) + 1;
    std::memcpy(base.data(), target.data(), base_length);
    base[base_length] = '\0';
    return status::success;
  }

  int run() {
    if (!reader.find_marker())
      return status::marker_not_found;
    if (report_progress && call.hook.found)
      call.hook.found(reader.position() - (marker_record_bytes - 1), call.hook.context);
    std::uint8_t after_marker[4] = {};
    reader.read(after_marker, 4); // strip length, then the empty end-of-file record
    strip = after_marker[0];
    if (const int code = take_target(); code != status::success)
      return code;
    chain_failed = create_target_chain(target.data());

    record_header h;
    record_start = reader.position();
    int got = reader.read_header(&h);
    for (;;) {
      if (got == 0)
        return status::success; // the end of the file ends the archive
      if (h.type == record::end_of_archive)
        return status::success; // the total and the trailer are not read
      if (h.type != record::file_name || got < record_header_bytes)
        return damaged(status::bad_top_record, nullptr);
      const int code = unpack_named_file(h);
      if (code != status::success)
        return code;
      record_start = reader.position();
      got = reader.read_header(&h);
    }
  }
};

} // namespace

int extract_payload(engine_call& call) {
  sys::scoped_file source(call.open_caller_path(call.source, sys::open_mode::read_shared));
  if (!source.ok())
    return call.fail_platform(status::source_open_failed, call.source);
  extraction x{call,
               payload_reader(source.get(), call.read_area.get(), sys::max_transfer_bytes),
               chunk_decoder(),
               0,
               0,
               0,
               call.command[1] == 'J',
               output_path{}};
  return x.run();
}

} // namespace archive
