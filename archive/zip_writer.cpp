// ZIP packaging (every command not beginning with 'P'): the files of a source
// spec, and of all its subdirectories with "***", as a standard ZIP file
// written by minizip.
#include "archive/engine_call.h"
#include "archive/tree_walk.h"
#include "sys/cp1252.h"
#include "sys/little_endian.h"
#include "sys/platform.h"
#include "sys/text_fields.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <zip.h>

namespace archive {

namespace {

// Source files are read in pieces of this size.
constexpr std::size_t zip_piece_bytes = 31000;
constexpr int deflate_level = 9;
// General purpose flag bit 11: the entry name is UTF-8.
constexpr uLong utf8_name_flag = 0x800;
// "Version made by": host Unix (3) in the high byte, ZIP version 6.3 (the
// one that brought the UTF-8 flag) in the low byte. Readers take an entry of
// host MS-DOS (0) for a name in code page 437 whatever its UTF-8 flag says
// (Info-ZIP unzip turns the UTF-8 bytes of "ÅSA" into "+\x8fSA"); of host
// Unix they take the name as flagged, and the entry's mode from the high 16
// bits of its external attributes.
constexpr uLong made_by_unix = 3 << 8 | 63;
// The external attributes of every entry: a regular file, mode 0644 (read and
// write for its owner, read for everyone), the same whatever the source's
// mode, so the ZIP file does not depend on the machine it was made on.
constexpr uLong regular_file_attributes = 0100644u << 16;

using sys::get_le;
using sys::put_le;

// minizip writes the central directory only in zipClose, and there gives the
// central header of a Zip64 entry (one of 4 GiB or more, or beyond 4 GiB in
// the file) "made by" 4.5 of MS-DOS, whatever it was asked. While
// zipClose writes, the writer passes the bytes through this filter, which
// sets "made by" of every central header to made_by_unix and passes the rest
// (the end records) unchanged.
class central_directory_filter {
public:
  // From now on the bytes written are the central directory and end records.
  void start() { active_ = true; }

  // Writes size bytes of minizip's to f, through the filter when it is
  // active; size when every byte was written, else 0.
  uLong write(std::FILE* f, const void* buf, uLong size) {
    if (!active_)
      return std::fwrite(buf, 1, size, f);
    const auto* p = static_cast<const std::uint8_t*>(buf);
    bool ok = true;
    for (uLong at = 0; at < size;) {
      if (passing_) {
        ok = ok && std::fwrite(p + at, 1, size - at, f) == size - at;
        break;
      }
      if (rest_ > 0) {
        const auto n = static_cast<uLong>(std::min<std::uint64_t>(rest_, size - at));
        ok = ok && std::fwrite(p + at, 1, n, f) == n;
        at += n;
        rest_ -= n;
        continue;
      }
      // The fixed part of a header is held until it is whole.
      const std::size_t n = std::min<std::size_t>(sizeof header_ - held_, size - at);
      std::memcpy(header_ + held_, p + at, n);
      held_ += n;
      at += n;
      if (held_ >= 4 && get_le(header_, 4) != central_header_signature) {
        passing_ = true; // the end records: the central directory is done
      } else if (held_ == sizeof header_) {
        put_le(header_ + 4, made_by_unix, 2);
        // Name, extra field and comment follow unchanged.
        rest_ = get_le(header_ + 28, 2) + get_le(header_ + 30, 2) + get_le(header_ + 32, 2);
      } else {
        continue;
      }
      ok = ok && std::fwrite(header_, 1, held_, f) == held_;
      held_ = 0;
    }
    return ok ? size : 0;
  }

private:
  static constexpr std::uint32_t central_header_signature = 0x02014b50;
  bool active_ = false;
  bool passing_ = false;
  std::uint8_t header_[46]; // the fixed part of a central header
  std::size_t held_ = 0;    // bytes of it held
  std::uint64_t rest_ = 0;  // bytes of the current header's variable part to pass
};

// minizip's file functions over the platform's buffered streams, so the ZIP
// file's drive-form path is resolved like every other path of the system;
// positions are 64-bit, so ZIP files beyond 4 GiB are written whole.
voidpf ZCALLBACK zip_open(voidpf, const void* filename, int mode) {
  if ((mode & ZLIB_FILEFUNC_MODE_CREATE) == 0)
    return nullptr; // the engine only ever creates ZIP files
  return sys::current_platform().open_write_stream(static_cast<const char*>(filename));
}
uLong ZCALLBACK zip_read(voidpf, voidpf stream, void* buf, uLong size) {
  return std::fread(buf, 1, size, static_cast<std::FILE*>(stream));
}
uLong ZCALLBACK zip_write(voidpf filter, voidpf stream, const void* buf, uLong size) {
  return static_cast<central_directory_filter*>(filter)->write(static_cast<std::FILE*>(stream), buf,
                                                               size);
}
ZPOS64_T ZCALLBACK zip_tell(voidpf, voidpf stream) {
  return static_cast<ZPOS64_T>(sys::tell_stream(static_cast<std::FILE*>(stream)));
}
long ZCALLBACK zip_seek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  const int whence = origin == ZLIB_FILEFUNC_SEEK_CUR   ? SEEK_CUR
                     : origin == ZLIB_FILEFUNC_SEEK_END ? SEEK_END
                                                        : SEEK_SET;
  return sys::seek_stream(static_cast<std::FILE*>(stream), static_cast<std::int64_t>(offset),
                          whence);
}
int ZCALLBACK zip_close(voidpf, voidpf stream) {
  return std::fclose(static_cast<std::FILE*>(stream));
}
int ZCALLBACK zip_error(voidpf, voidpf stream) {
  return std::ferror(static_cast<std::FILE*>(stream));
}

// The DOS date (upper 16 bits) and time (lower 16 bits) of a local
// last-write time; 0 when DOS cannot hold it.
uLong dos_date_of(std::uint64_t last_write_time) {
  std::uint16_t date = 0, time = 0;
  if (!sys::current_platform().file_time_to_local_dos(last_write_time, &date, &time))
    return 0;
  return static_cast<uLong>(date) << 16 | time;
}

// The DOS date and time of a file's last-write time in UTC, or of limit
// (seconds since 1970-01-01 UTC) when the file is newer; 0 when DOS cannot
// hold it. Computed here, not by the platform: no time zone takes part.
uLong utc_dos_date_of(std::uint64_t last_write_time, std::int64_t limit) {
  using namespace std::chrono;
  constexpr std::uint64_t units_per_second = 10'000'000; // FILETIME counts 100 ns
  constexpr std::int64_t seconds_1601_to_1970 = 11'644'473'600;
  const std::int64_t file_seconds =
      static_cast<std::int64_t>(last_write_time / units_per_second) - seconds_1601_to_1970;
  const sys_seconds t{seconds{std::min(file_seconds, limit)}};
  const sys_days day = floor<days>(t);
  const year_month_day date{day};
  const int year = static_cast<int>(date.year());
  if (year < 1980 || year > 2107)
    return 0;
  const auto second_of_day = static_cast<unsigned>((t - day).count());
  const unsigned dos_date = static_cast<unsigned>(year - 1980) << 9 |
                            static_cast<unsigned>(date.month()) << 5 |
                            static_cast<unsigned>(date.day());
  const unsigned dos_time =
      second_of_day / 3600 << 11 | second_of_day / 60 % 60 << 5 | second_of_day % 60 / 2;
  return static_cast<uLong>(dos_date) << 16 | dos_time;
}

// Entries whose sizes may not fit the 32-bit fields get Zip64 extra fields.
constexpr std::uint64_t zip64_threshold = 0xFFFFFFFFu;

// The ZIP end records. The end of central directory record counts entries
// in 16 bits; from 0xFFFF entries on it holds 0xFFFF and readers take the
// counts from a Zip64 end record, found through the locator in front of it.
// Some minizip releases write the Zip64 records only for offsets beyond
// 32 bits; complete_zip64_end adds them for many entries too.
constexpr std::uint32_t end_signature = 0x06054b50;
constexpr std::uint32_t zip64_end_signature = 0x06064b50;
constexpr std::uint32_t zip64_locator_signature = 0x07064b50;
constexpr std::uint32_t end_record_bytes = 22;
constexpr std::uint32_t zip64_end_record_bytes = 56;
constexpr std::uint32_t zip64_locator_bytes = 20;
constexpr std::uint64_t max_plain_entries = 0xFFFF;

// Puts the Zip64 end record and its locator in front of the end record of
// the finished ZIP file at path, when it holds max_plain_entries or more
// entries and has none yet. True when nothing was needed or it was done.
bool complete_zip64_end(const char* path, std::uint64_t entries) {
  if (entries < max_plain_entries)
    return true;
  sys::platform& p = sys::current_platform();
  const sys::native_handle h = p.create_file(path, sys::access_read | sys::access_write, 0,
                                             sys::disposition::open_existing, 0);
  if (h == sys::invalid_handle_value)
    return false;
  struct closer {
    sys::platform& p;
    sys::native_handle h;
    ~closer() { p.close_handle(h); }
  } close_on_exit{p, h};

  // The tail: a locator (when minizip wrote one) and the end record, no comment.
  std::uint8_t tail[zip64_locator_bytes + end_record_bytes];
  const std::uint32_t size = p.set_file_pointer(h, 0, sys::move_method::end);
  if (size == sys::invalid_set_file_pointer || size < sizeof tail)
    return false; // a ZIP file of 4 GiB or more has its Zip64 records from minizip
  std::uint32_t done = 0;
  if (p.set_file_pointer(h, size - static_cast<std::uint32_t>(sizeof tail),
                         sys::move_method::begin) == sys::invalid_set_file_pointer ||
      !p.read_file(h, tail, sizeof tail, &done) || done != sizeof tail)
    return false;
  const std::uint8_t* end = tail + zip64_locator_bytes;
  if (get_le(end, 4) != end_signature)
    return false;
  if (get_le(tail, 4) == zip64_locator_signature)
    return true;

  const std::uint64_t directory_size = get_le(end + 12, 4);
  const std::uint64_t directory_offset = get_le(end + 16, 4);
  const std::uint32_t at = size - end_record_bytes; // where the new records go
  std::uint8_t records[zip64_end_record_bytes + zip64_locator_bytes + end_record_bytes] = {};
  std::uint8_t* r = records;
  put_le(r, zip64_end_signature, 4);
  put_le(r + 4, zip64_end_record_bytes - 12, 8); // the size of the rest of the record
  put_le(r + 12, 45, 2);                         // made by: version 4.5
  put_le(r + 14, 45, 2);                         // needed to extract: 4.5
  put_le(r + 24, entries, 8);                    // on this disk, then in all
  put_le(r + 32, entries, 8);
  put_le(r + 40, directory_size, 8);
  put_le(r + 48, directory_offset, 8);
  std::uint8_t* l = records + zip64_end_record_bytes;
  put_le(l, zip64_locator_signature, 4);
  put_le(l + 8, at, 8); // the Zip64 end record's offset
  put_le(l + 16, 1, 4); // disks in all
  std::memcpy(l + zip64_locator_bytes, end, end_record_bytes);
  return p.set_file_pointer(h, at, sys::move_method::begin) != sys::invalid_set_file_pointer &&
         p.write_file(h, records, sizeof records, &done) && done == sizeof records;
}

struct zip_packing {
  engine_call& call;
  zipFile zip;
  int root_prefix;
  std::uint64_t entries = 0;

  // Closes the stream on every path.
  struct stream_closer {
    std::FILE* f;
    ~stream_closer() {
      if (f)
        std::fclose(f);
    }
  };

  int add_file(const char* path) {
    // The entry name: the path below the root, with the forward slashes ZIP
    // requires, in UTF-8 (flagged) when it holds more than ASCII.
    std::string name = path + root_prefix;
    for (char& c : name)
      if (c == '\\')
        c = '/';
    bool ascii = true;
    for (unsigned char c : name)
      ascii = ascii && c < 0x80;
    if (!ascii)
      name = sys::cp1252_to_utf8(name);

    // The source is opened first: a file that cannot be read leaves no entry
    // that would pass for an empty file.
    sys::platform& p = sys::current_platform();
    stream_closer source{p.open_read_stream(path)};
    if (!source.f)
      return call.fail(status::zip_source_failed, failure_reason::platform, path, p.last_error());
    sys::file_information before;
    if (!sys::stream_information(source.f, &before))
      return call.fail(status::zip_source_failed, failure_reason::platform, path,
                       sys::error::read_fault);
    zip_fileinfo info{};
    info.external_fa = regular_file_attributes;
    info.dosDate = call.zip_date_limit >= 0
                       ? utc_dos_date_of(before.last_write_time, call.zip_date_limit)
                       : dos_date_of(before.last_write_time);
    const int zip64 = before.size >= zip64_threshold ? 1 : 0;
    // "Made by" as asked; the central directory filter sets it again where
    // minizip would not (Zip64 entries).
    if (zipOpenNewFileInZip4_64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                Z_DEFLATED, deflate_level, 0, -MAX_WBITS, DEF_MEM_LEVEL,
                                Z_DEFAULT_STRATEGY, nullptr, 0, made_by_unix,
                                ascii ? 0 : utf8_name_flag, zip64) != ZIP_OK)
      return call.fail(status::zip_entry_failed, failure_reason::platform, path,
                       sys::error::gen_failure);
    ++entries;

    std::uint8_t* piece = call.read_area.get();
    std::uint64_t read_total = 0;
    int result = status::success;
    for (;;) {
      const std::size_t n = std::fread(piece, 1, zip_piece_bytes, source.f);
      read_total += n;
      // A file that grows while it is read (the ZIP file itself, reached
      // through a link) is stopped at once, not read for ever.
      if (read_total > before.size) {
        result = call.fail(status::zip_source_failed, failure_reason::changed_while_read, path);
        break;
      }
      if (n > 0 && zipWriteInFileInZip(zip, piece, static_cast<unsigned>(n)) != ZIP_OK) {
        // the ZIP file cannot take it
        result = call.fail(status::zip_create_failed, failure_reason::platform, call.source,
                           sys::error::write_fault);
        break;
      }
      if (n < zip_piece_bytes) {
        if (std::ferror(source.f))
          result = call.fail(status::zip_source_failed, failure_reason::platform, path,
                             sys::error::read_fault);
        break;
      }
    }
    if (zipCloseFileInZip(zip) != ZIP_OK && result == status::success)
      result = call.fail(status::zip_create_failed, failure_reason::platform, call.source,
                         sys::error::write_fault);
    if (result != status::success)
      return result;
    // The entry holds the file as it was when packing began, or packing fails.
    sys::file_information after;
    if (!sys::stream_information(source.f, &after) || !sys::unchanged(before, after) ||
        read_total != before.size)
      return call.fail(status::zip_source_failed, failure_reason::changed_while_read, path);
    return status::success;
  }

  static int visit(const char* path, std::uint32_t, void* context) {
    return static_cast<zip_packing*>(context)->add_file(path);
  }
};

} // namespace

int write_zip(engine_call& call) {
  if (call.spec_too_long)
    return call.fail(status::zip_source_failed, failure_reason::path_too_long, call.spec);
  if (strnlen(call.source, sys::max_path_chars + 1) > sys::max_path_chars)
    return call.fail(status::zip_create_failed, failure_reason::path_too_long, call.source);
  central_directory_filter filter;
  zlib_filefunc64_def io{zip_open, zip_read,  zip_write, zip_tell,
                         zip_seek, zip_close, zip_error, &filter};
  zipFile zip = zipOpen2_64(call.source, APPEND_STATUS_CREATE, nullptr, &io);
  if (zip == nullptr)
    return call.fail(status::zip_create_failed, failure_reason::platform, call.source,
                     sys::current_platform().last_error());
  zip_packing packing{
      call, zip,
      directory_prefix_length(call.spec, static_cast<int>(strnlen(call.spec, max_spec_chars)))};
  int code = walk_tree(call, &zip_packing::visit, &packing, status::zip_source_failed);
  // Always completed: the entries written so far make a valid ZIP file.
  filter.start();
  if (zipClose(zip, nullptr) != ZIP_OK && code == status::success)
    code = call.fail(status::zip_create_failed, failure_reason::platform, call.source,
                     sys::error::write_fault);
  if (!complete_zip64_end(call.source, packing.entries) && code == status::success)
    code = call.fail(status::zip_create_failed, failure_reason::platform, call.source,
                     sys::current_platform().last_error());
  return code;
}

} // namespace archive
