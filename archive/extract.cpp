// Extraction ("PI", "PJ"): unpacks the payload archive held in a file into a
// target directory.
#include "archive/chunk_codec.h"
#include "archive/engine_call.h"
#include "archive/payload_reader.h"
#include "archive/stored_name.h"
#include "sys/file_layer.h"

#include <cstring>

namespace archive {

namespace {

// Creates the target directory chain: for every backslash at index 3 or
// later, the directory named by the text before it. Failures are not
// reported; a missing directory shows when the first file is created.
void create_target_chain(const char* target) {
  const int n = static_cast<int>(strnlen(target, max_target_chars));
  char prefix[max_target_chars + 1];
  for (int i = 3; i < n; ++i) {
    if (target[i] != '\\')
      continue;
    std::memcpy(prefix, target, static_cast<std::size_t>(i));
    prefix[i] = '\0';
    sys::dir_create(prefix);
  }
}

// Creates the directories the output path needs, in order, except those the
// previous file's path made already (the same leading directories).
void create_directories(output_path& path, const output_path& previous) {
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
    sys::dir_create(path.text.data());
    path.text[end] = saved;
  }
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

  // Unpacks one file's chunk records up to its end-of-file record.
  int unpack_file(sys::file_handle out) {
    std::uint8_t* compressed = call.read_area.get() + sys::max_transfer_bytes;
    std::uint8_t* decoded = call.record_area.get();
    for (;;) {
      file_record r;
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
      // A file that cannot take its data is no successful extraction.
      if (length > 0 && sys::file_write(out, decoded, static_cast<std::uint16_t>(length)) !=
                            static_cast<std::int16_t>(length))
        return status::output_create_failed;
    }
  }

  // One file: its name record's payload, its output path, its chunks.
  int unpack_named_file(const record_header& h) {
    std::uint8_t* name = call.record_area.get();
    if (h.length > sys::max_transfer_bytes)
      return status::bad_top_record;
    if (reader.read(name, h.length) != h.length)
      return status::bad_top_record; // the archive ends inside the name
    output_path path;
    const int refused = make_output_path(call.spec, name, h.length, strip, path);
    if (refused != 0)
      return refused;
    create_directories(path, previous_path);
    previous_path = path;
    sys::scoped_file out(sys::file_open(path.text.data(), sys::open_mode::create));
    if (!out.ok())
      return status::output_create_failed;
    return unpack_file(out.get());
  }

  int run() {
    if (!reader.find_marker())
      return status::marker_not_found;
    std::uint8_t after_marker[4] = {};
    reader.read(after_marker, 4); // strip length, then the empty end-of-file record
    strip = after_marker[0];
    create_target_chain(call.spec);

    record_header h;
    int got = reader.read_header(&h);
    for (;;) {
      if (got == 0)
        return status::success; // the end of the file ends the archive
      if (h.type == record::end_of_archive)
        return status::success; // the total and the trailer are not read
      if (h.type != record::file_name || got < record_header_bytes)
        return status::bad_top_record;
      const int code = unpack_named_file(h);
      if (code != status::success)
        return code;
      got = reader.read_header(&h);
    }
  }
};

} // namespace

int extract_payload(engine_call& call) {
  sys::scoped_file source(sys::file_open(call.source, sys::open_mode::read_shared));
  if (!source.ok())
    return status::source_open_failed;
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
