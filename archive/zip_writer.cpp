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

struct zip_packing {
  engine_call& call;
  zipFile zip;
  int root_prefix;

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

    std::uint8_t* piece = call.read_area.get();
    std::uint64_t read_total = 0;
    int result = status::success;
    for (;;) {
      const std::size_t n = std::fread(piece, 1, zip_piece_bytes, source.f);
      read_total += n;
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
    if (!sys::stream_information(source.f, &after) || after.size != before.size ||
        after.last_write_time != before.last_write_time || read_total != before.size)
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
  return code;
}

} // namespace archive
