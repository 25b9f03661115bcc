// Walking a payload archive without unpacking it.
#include "archive/payload_inspect.h"

#include "archive/chunk_codec.h"
#include "archive/payload_reader.h"
#include "archive/run_archive_command.h"
#include "archive/stored_name.h"
#include "sys/file_layer.h"

#include <cstring>
#include <memory>
#include <new>

namespace archive {

namespace {

struct inspection {
  payload_reader& reader;
  chunk_decoder& decoder;
  std::uint8_t* compressed;
  std::uint8_t* decoded;
  payload_summary& summary;

  int walk_file(inspected_file& file) {
    for (;;) {
      file_record r;
      const int code = read_file_record(reader, decoder, compressed, decoded, &r);
      if (code != status::success || r.end_of_file)
        return code;
      ++file.chunks;
      file.compressed += r.compressed;
      file.size += r.decoded;
    }
  }

  int run(file_reporter report, void* context) {
    if (!reader.find_marker())
      return status::marker_not_found;
    summary.marker_offset = reader.position() - marker_chars - 3;
    std::uint8_t after_marker[4] = {};
    reader.read(after_marker, 4);
    summary.strip = after_marker[0];

    for (;;) {
      record_header h;
      const int got = reader.read_header(&h);
      if (got == 0)
        return status::success;
      if (h.type == record::end_of_archive) {
        std::uint8_t total[4] = {};
        // The header read took the total's first two bytes as its length.
        total[0] = static_cast<std::uint8_t>(h.length);
        total[1] = static_cast<std::uint8_t>(h.length >> 8);
        if (got < record_header_bytes || reader.read(total + 2, 2) != 2)
          return status::success; // a cut total: the archive still ends here
        summary.has_end_record = true;
        summary.archive_total = static_cast<std::uint32_t>(
            total[0] | total[1] << 8 | total[2] << 16 | static_cast<std::uint32_t>(total[3]) << 24);
        summary.end_offset = reader.position();
        if (summary.file_size - summary.end_offset == trailer_bytes &&
            reader.read(summary.trailer.data(), trailer_bytes) == trailer_bytes)
          summary.has_trailer = true;
        return status::success;
      }
      if (h.type != record::file_name || got < record_header_bytes ||
          h.length > sys::max_transfer_bytes)
        return status::bad_top_record;
      std::uint8_t* name = decoded;
      if (reader.read(name, h.length) != h.length)
        return status::bad_top_record;
      inspected_file file;
      const std::size_t shown = h.length < 255 ? h.length : 255;
      std::memcpy(file.name.data(), name, shown);
      output_path placed;
      file.name_safe =
          make_output_path("X:\\T\\", name, h.length, summary.strip, placed) == path_refusal::none;
      const int code = walk_file(file);
      if (code != status::success)
        return code;
      ++summary.files;
      summary.total_size += file.size;
      summary.total_compressed += file.compressed;
      if (report)
        report(file, context);
    }
  }
};

} // namespace

int inspect_payload(const char* path, file_reporter report, void* context,
                    payload_summary& summary) {
  summary = payload_summary{};
  sys::scoped_file file(sys::file_open(path, sys::open_mode::read_shared));
  if (!file.ok())
    return status::source_open_failed;
  const std::int32_t size = sys::file_seek(file.get(), 0, sys::seek_from::end);
  sys::file_seek(file.get(), 0, sys::seek_from::start);
  summary.file_size = size > 0 ? static_cast<std::uint32_t>(size) : 0;

  std::unique_ptr<std::uint8_t[]> area(new (std::nothrow) std::uint8_t[work_area_bytes * 2]);
  if (!area)
    return status::source_open_failed;
  payload_reader reader(file.get(), area.get(), sys::max_transfer_bytes);
  chunk_decoder decoder;
  inspection walk{reader, decoder, area.get() + sys::max_transfer_bytes,
                  area.get() + work_area_bytes, summary};
  return walk.run(report, context);
}

} // namespace archive
