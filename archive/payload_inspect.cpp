// Walking a payload archive without unpacking it, and checking it against
// what the builder writes.
#include "archive/payload_inspect.h"

#include "archive/chunk_codec.h"
#include "archive/payload_reader.h"
#include "archive/run_archive_command.h"
#include "archive/stored_name.h"
#include "archive/trailer.h"
#include "sys/cp1252.h"
#include "sys/file_layer.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>

namespace archive {

namespace {

// The target the stored names are placed below to see whether extraction
// would take them, and where they would land.
constexpr char check_target[] = "X:\\T\\";
constexpr std::size_t check_target_chars = sizeof check_target - 1;

// Room for one problem's text; longer texts are cut.
constexpr std::size_t problem_text_bytes = 256;

struct inspection {
  sys::file_handle file;
  payload_reader& reader;
  chunk_decoder& decoder;
  std::uint8_t* compressed;
  std::uint8_t* decoded;
  payload_summary& summary;
  const inspect_reporters& to;
  // Where each file lands below the target, upper-cased as Windows compares
  // names, with the offset of the file-name record that put it there.
  std::map<std::string, std::uint32_t> placed{};
  // The directories the placed files need, with the offset of the first
  // file that needs each.
  std::map<std::string, std::uint32_t> directories{};
  // The first stored name's source root: its first strip + 1 characters.
  std::array<std::uint8_t, max_stored_name> root{};
  bool has_root = false;

  [[gnu::format(printf, 4, 5)]] void problem(const char* name, std::uint32_t offset,
                                             const char* format, ...) {
    if (to.problem == nullptr)
      return;
    std::array<char, problem_text_bytes> text{};
    va_list args;
    va_start(args, format);
    std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
    to.problem(name, offset, status::success, text.data(), to.context);
  }

  // The problem the walk stops at, told by the status extraction would give.
  void stop(const char* name, std::uint32_t offset, int code) {
    if (to.problem != nullptr)
      to.problem(name, offset, code, "", to.context);
  }

  // The marker record in front of the reader's position, and the strip length
  // and empty end-of-file record behind it.
  void read_marker_record() {
    const std::uint32_t chars_at = reader.position() - marker_chars;
    const std::uint32_t record_at = chars_at >= 3 ? chars_at - 3 : 0;
    summary.marker_offset = record_at;
    std::uint8_t head[3] = {};
    if (chars_at < 3 || !read_at(file, record_at, head, 3) || head[0] != record::file_name ||
        head[1] != marker_record_bytes - record_header_bytes || head[2] != 0)
      problem("", record_at, "the marker characters are not preceded by 01 0A 00");
    std::uint8_t after[4] = {};
    const int got = reader.read(after, 4);
    summary.strip = after[0];
    if (got != 4 || after[1] != record::end_of_file || after[2] != 0 || after[3] != 0)
      problem("", record_at + marker_record_bytes,
              "the marker record is not followed by the empty end-of-file record 03 00 00");
  }

  void check_name(const inspected_file& file, const std::uint8_t* name, int length,
                  std::uint32_t at, const output_path& path) {
    const char* shown = file.name.data();
    if (length < 1 || length > max_stored_name) {
      problem(shown, at, "stored name of %d characters; names hold 1 to %d", length,
              max_stored_name);
      return;
    }
    const int root_length = summary.strip + 1;
    if (length <= root_length || name[summary.strip] != '\\') {
      problem(shown, at, "character %d of the stored name, the strip length, is not a backslash",
              summary.strip);
    } else if (!has_root) {
      std::memcpy(root.data(), name, static_cast<std::size_t>(root_length));
      has_root = true;
    } else if (std::memcmp(root.data(), name, static_cast<std::size_t>(root_length)) != 0) {
      problem(shown, at, "the stored name begins with another source root than the first file's");
    }
    if (!file.name_safe) {
      problem(shown, at, "stored name leaves the target directory");
      return;
    }
    if (std::strpbrk(path.text.data() + check_target_chars, sys::windows_forbidden_chars) !=
        nullptr)
      problem(shown, at, "the stored name holds a character Windows forbids in names");
    const std::string key = windows_view(path.text.data() + check_target_chars);
    const auto [first, added] = placed.emplace(key, at);
    if (!added)
      problem(shown, at,
              "the stored name places its file where the file named at offset %u goes "
              "(Windows compares names regardless of case and of trailing dots and blanks)",
              first->second);
    if (const auto dir = directories.find(key); dir != directories.end())
      problem(shown, at, "the file stands where the file named at offset %u needs a directory",
              dir->second);
    for (std::size_t cut = key.find('\\'); cut != std::string::npos;
         cut = key.find('\\', cut + 1)) {
      const std::string dir = key.substr(0, cut);
      if (const auto file = placed.find(dir); file != placed.end())
        problem(shown, at, "the file needs a directory where the file named at offset %u stands",
                file->second);
      directories.emplace(dir, at);
    }
  }

  // A placed path as Windows compares it: upper case, each component
  // without its trailing dots and blanks.
  static std::string windows_view(const char* placed_path) {
    std::string key;
    for (const char* p = placed_path;; ++p) {
      if (*p == '\\' || *p == '\0') {
        while (!key.empty() && (key.back() == '.' || key.back() == ' '))
          key.pop_back();
        if (*p == '\0')
          return key;
      }
      key += static_cast<char>(sys::cp1252_upper(static_cast<unsigned char>(*p)));
    }
  }

  // The records of one file up to its end-of-file record; name_at is the
  // offset of its file-name record.
  int walk_file(inspected_file& file, std::uint32_t name_at) {
    const char* shown = file.name.data();
    std::uint32_t last_size = 0;
    std::uint32_t last_at = 0;
    for (;;) {
      const std::uint32_t at = reader.position();
      file_record r;
      const int code = read_file_record(reader, decoder, compressed, decoded, &r);
      if (code != status::success) {
        stop(shown, at, code);
        return code;
      }
      if (r.end_of_file) {
        if (file.chunks == 0)
          problem(shown, name_at,
                  "the file has no chunk; its last chunk must decode to fewer than %d bytes "
                  "(an empty one for an empty file)",
                  chunk_bytes);
        else if (last_size == chunk_bytes)
          problem(shown, last_at,
                  "chunk %u, the file's last, decodes to %d bytes; a file whose size is a "
                  "multiple of %d ends with an empty chunk",
                  file.chunks, chunk_bytes, chunk_bytes);
        return status::success;
      }
      if (file.chunks > 0 && last_size < chunk_bytes)
        problem(shown, last_at,
                "chunk %u decodes to %u bytes; only a file's last chunk may be shorter than %d",
                file.chunks, last_size, chunk_bytes);
      ++file.chunks;
      if (r.decoded > chunk_bytes)
        problem(shown, at, "chunk %u decodes to %u bytes; a chunk holds at most %d", file.chunks,
                r.decoded, chunk_bytes);
      if (r.compressed > compressed_capacity)
        problem(shown, at, "chunk %u is %u bytes compressed; a chunk takes at most %d", file.chunks,
                r.compressed, compressed_capacity);
      if (r.unused > 0)
        problem(shown, at, "chunk %u holds %u bytes behind the end of its zlib stream", file.chunks,
                r.unused);
      last_size = r.decoded;
      last_at = at;
      file.compressed += r.compressed;
      file.size += r.decoded;
    }
  }

  // The end-of-archive record whose type byte and first two total bytes the
  // header read took (got of them), at offset at; then what follows it.
  void read_end_record(const record_header& h, int got, std::uint32_t at) {
    std::uint8_t record[end_of_archive_bytes] = {h.type, static_cast<std::uint8_t>(h.length),
                                                 static_cast<std::uint8_t>(h.length >> 8)};
    if (got < record_header_bytes || reader.read(record + record_header_bytes, 2) != 2) {
      problem("", at, "the end-of-archive record is cut short");
      return;
    }
    summary.has_end_record = true;
    summary.archive_total = end_of_archive_total(record);
    summary.end_offset = reader.position();
    check_stub_and_total(at);
    if (summary.end_offset > summary.archive_end) {
      problem("", summary.archive_end,
              "the certificate table begins inside the archive, in front of the end of the "
              "end-of-archive record at %u",
              summary.end_offset);
      return;
    }
    const std::uint32_t behind = summary.archive_end - summary.end_offset;
    if (behind == trailer_bytes &&
        reader.read(summary.trailer.data(), trailer_bytes) == trailer_bytes) {
      summary.has_trailer = true;
      if (!is_usable_stem(reinterpret_cast<const char*>(summary.trailer.data())))
        problem("", summary.end_offset,
                "the trailer's first seven bytes are no stem an installer can name a directory "
                "with");
    }
    const char* where =
        summary.archive_end < summary.file_size ? " up to the certificate table" : "";
    if (summary.marker_offset > 0 && behind != trailer_bytes)
      problem("", summary.end_offset,
              "%u bytes follow the end-of-archive record%s; behind a stub the archive ends with "
              "the %d trailer bytes",
              behind, where, trailer_bytes);
    else if (summary.marker_offset == 0 && behind != 0)
      problem("", summary.end_offset,
              "%u bytes follow the end-of-archive record%s; an archive without a stub ends there",
              behind, where);
    if (summary.marker_offset > 0 && summary.archive_end % installer_alignment != 0)
      problem("", summary.archive_end,
              "the installer is %u bytes long%s, not a multiple of %u (a signing tool would pad "
              "it in front of its certificate table)",
              summary.archive_end, where, installer_alignment);
  }

  // The archive total against the stub in front of the marker record: the
  // total is the stub's size plus the files' sizes, and the builder puts 0 to
  // 7 zero bytes between the stub and the marker record.
  void check_stub_and_total(std::uint32_t at) {
    const std::uint64_t files = summary.total_size;
    const std::uint64_t total = summary.archive_total;
    const std::uint32_t marker = summary.marker_offset;
    std::uint8_t gap[installer_alignment] = {};
    const std::uint8_t zeros[installer_alignment] = {};
    const std::uint64_t stub = total - files;
    const std::uint64_t padding = marker - stub;
    if (total >= files && stub <= marker && padding < installer_alignment &&
        (padding == 0 || read_at(file, static_cast<std::uint32_t>(stub), gap,
                                 static_cast<std::uint32_t>(padding))) &&
        std::memcmp(gap, zeros, padding) == 0) {
      summary.padding = static_cast<std::uint32_t>(padding);
      return;
    }
    if (marker == 0)
      problem("", at, "archive total %u is not the stub's size plus the files' sizes, %llu",
              summary.archive_total, static_cast<unsigned long long>(files));
    else
      problem("", at,
              "archive total %u is not the stub's size plus the files' sizes: the files hold "
              "%llu bytes, and the stub ends at most %u zero bytes in front of the marker record "
              "at %u",
              summary.archive_total, static_cast<unsigned long long>(files),
              installer_alignment - 1, marker);
  }

  int run() {
    if (!reader.find_marker()) {
      stop("", summary.file_size, status::marker_not_found);
      return status::marker_not_found;
    }
    read_marker_record();

    for (;;) {
      const std::uint32_t at = reader.position();
      record_header h;
      const int got = reader.read_header(&h);
      if (got == 0) {
        problem("", at, "no end-of-archive record");
        return status::success;
      }
      if (h.type == record::end_of_archive) {
        read_end_record(h, got, at);
        return status::success;
      }
      if (h.type != record::file_name || got < record_header_bytes ||
          h.length > sys::max_transfer_bytes || reader.read(decoded, h.length) != h.length) {
        stop("", at, status::bad_top_record);
        return status::bad_top_record;
      }
      const std::uint8_t* name = decoded;
      inspected_file file;
      const std::size_t shown = h.length < 255 ? h.length : 255;
      std::memcpy(file.name.data(), name, shown);
      output_path path;
      file.name_safe =
          make_output_path(check_target, name, h.length, summary.strip, path) == path_refusal::none;
      check_name(file, name, h.length, at, path);
      const int code = walk_file(file, at);
      if (code != status::success)
        return code;
      ++summary.files;
      summary.total_size += file.size;
      summary.total_compressed += file.compressed;
      if (to.file)
        to.file(file, to.context);
    }
  }
};

int inspect(const char* path, const inspect_reporters& to, payload_summary& summary) {
  // The path names a real file (the packager's argument): not folded.
  sys::scoped_file file(sys::file_open_unfolded(path, sys::open_mode::read_shared));
  if (!file.ok())
    return status::source_open_failed;
  const std::int32_t size = sys::file_seek(file.get(), 0, sys::seek_from::end);
  const std::int32_t end = find_archive_end(file.get());
  sys::file_seek(file.get(), 0, sys::seek_from::start);
  summary.file_size = size > 0 ? static_cast<std::uint32_t>(size) : 0;
  summary.archive_end = end > 0 ? static_cast<std::uint32_t>(end) : summary.file_size;

  std::unique_ptr<std::uint8_t[]> area(new std::uint8_t[work_area_bytes * 2]);
  payload_reader reader(file.get(), area.get(), sys::max_transfer_bytes);
  chunk_decoder decoder;
  inspection walk{file.get(),
                  reader,
                  decoder,
                  area.get() + sys::max_transfer_bytes,
                  area.get() + work_area_bytes,
                  summary,
                  to};
  return walk.run();
}

} // namespace

int inspect_payload(const char* path, const inspect_reporters& to, payload_summary& summary) {
  summary = payload_summary{};
  try {
    return inspect(path, to, summary);
  } catch (const std::bad_alloc&) {
    return status::source_open_failed;
  }
}

} // namespace archive
