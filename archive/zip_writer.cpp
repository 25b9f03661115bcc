// ZIP packaging (every command not beginning with 'P'): the files of a source
// spec, and of all its subdirectories with "***", as a standard ZIP file
// written by minizip.
#include "archive/engine_call.h"
#include "archive/tree_walk.h"
#include "sys/cp1252.h"
#include "sys/platform.h"
#include "sys/text_fields.h"

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
uLong ZCALLBACK zip_write(voidpf, voidpf stream, const void* buf, uLong size) {
  return std::fwrite(buf, 1, size, static_cast<std::FILE*>(stream));
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

void put_le(std::uint8_t* at, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i)
    at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint64_t get_le(const std::uint8_t* at, int bytes) {
  std::uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i)
    value = value << 8 | at[i];
  return value;
}

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
    info.dosDate = dos_date_of(before.last_write_time);
    const int zip64 = before.size >= zip64_threshold ? 1 : 0;
    if (zipOpenNewFileInZip4_64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                Z_DEFLATED, deflate_level, 0, -MAX_WBITS, DEF_MEM_LEVEL,
                                Z_DEFAULT_STRATEGY, nullptr, 0, 0, ascii ? 0 : utf8_name_flag,
                                zip64) != ZIP_OK)
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
  zlib_filefunc64_def io{zip_open, zip_read,  zip_write, zip_tell,
                         zip_seek, zip_close, zip_error, nullptr};
  zipFile zip = zipOpen2_64(call.source, APPEND_STATUS_CREATE, nullptr, &io);
  if (zip == nullptr)
    return call.fail(status::zip_create_failed, failure_reason::platform, call.source,
                     sys::current_platform().last_error());
  zip_packing packing{
      call, zip,
      directory_prefix_length(call.spec, static_cast<int>(strnlen(call.spec, max_spec_chars)))};
  int code = walk_tree(call, &zip_packing::visit, &packing, status::zip_source_failed);
  // Always completed: the entries written so far make a valid ZIP file.
  if (zipClose(zip, nullptr) != ZIP_OK && code == status::success)
    code = call.fail(status::zip_create_failed, failure_reason::platform, call.source,
                     sys::error::write_fault);
  if (!complete_zip64_end(call.source, packing.entries) && code == status::success)
    code = call.fail(status::zip_create_failed, failure_reason::platform, call.source,
                     sys::current_platform().last_error());
  return code;
}

} // namespace archive
