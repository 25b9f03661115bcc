// ZIP packaging (every command not beginning with 'P'): the files of a source
// spec, and of all its subdirectories with "***", as a standard ZIP file
// written by minizip.
#include "archive/engine_call.h"
#include "archive/tree_walk.h"
#include "sys/cp1252.h"
#include "sys/platform.h"

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
// file's drive-form path is resolved like every other path of the system.
voidpf ZCALLBACK zip_open(voidpf, const char* filename, int mode) {
  if ((mode & ZLIB_FILEFUNC_MODE_CREATE) == 0)
    return nullptr; // the engine only ever creates ZIP files
  return sys::current_platform().open_write_stream(filename);
}
uLong ZCALLBACK zip_read(voidpf, voidpf stream, void* buf, uLong size) {
  return std::fread(buf, 1, size, static_cast<std::FILE*>(stream));
}
uLong ZCALLBACK zip_write(voidpf, voidpf stream, const void* buf, uLong size) {
  return std::fwrite(buf, 1, size, static_cast<std::FILE*>(stream));
}
long ZCALLBACK zip_tell(voidpf, voidpf stream) {
  return std::ftell(static_cast<std::FILE*>(stream));
}
long ZCALLBACK zip_seek(voidpf, voidpf stream, uLong offset, int origin) {
  const int whence = origin == ZLIB_FILEFUNC_SEEK_CUR   ? SEEK_CUR
                     : origin == ZLIB_FILEFUNC_SEEK_END ? SEEK_END
                                                        : SEEK_SET;
  return std::fseek(static_cast<std::FILE*>(stream), static_cast<long>(offset), whence) == 0 ? 0
                                                                                             : -1;
}
int ZCALLBACK zip_close(voidpf, voidpf stream) {
  return std::fclose(static_cast<std::FILE*>(stream));
}
int ZCALLBACK zip_error(voidpf, voidpf stream) {
  return std::ferror(static_cast<std::FILE*>(stream));
}

// The DOS date (upper 16 bits) and time (lower 16 bits) of the file's local
// last-write time; 0 when the file cannot be found.
uLong dos_date_of(const char* path) {
  sys::platform& p = sys::current_platform();
  sys::find_data found;
  const sys::native_handle h = p.find_first_file(path, &found);
  if (h == sys::invalid_handle_value)
    return 0;
  p.find_close(h);
  std::uint16_t date = 0, time = 0;
  if (!p.file_time_to_local_dos(found.last_write_time, &date, &time))
    return 0;
  return static_cast<uLong>(date) << 16 | time;
}

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

    zip_fileinfo info{};
    info.dosDate = dos_date_of(path);

    // The source is opened first: a file that cannot be read leaves no entry
    // that would pass for an empty file.
    stream_closer source{sys::current_platform().open_read_stream(path)};
    if (!source.f)
      return status::zip_source_failed;
    if (zipOpenNewFileInZip4(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                             deflate_level, 0, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY,
                             nullptr, 0, 0, ascii ? 0 : utf8_name_flag) != ZIP_OK)
      return status::zip_entry_failed;

    std::uint8_t* piece = call.read_area.get();
    int result = status::success;
    for (;;) {
      const std::size_t n = std::fread(piece, 1, zip_piece_bytes, source.f);
      if (n > 0 && zipWriteInFileInZip(zip, piece, static_cast<unsigned>(n)) != ZIP_OK) {
        result = status::zip_create_failed; // the ZIP file cannot take it
        break;
      }
      if (n < zip_piece_bytes) {
        if (std::ferror(source.f))
          result = status::zip_source_failed;
        break;
      }
    }
    if (zipCloseFileInZip(zip) != ZIP_OK && result == status::success)
      result = status::zip_create_failed;
    return result;
  }

  static int visit(const char* path, std::uint32_t, void* context) {
    return static_cast<zip_packing*>(context)->add_file(path);
  }
};

} // namespace

int write_zip(engine_call& call) {
  zlib_filefunc_def io{zip_open, zip_read,  zip_write, zip_tell,
                       zip_seek, zip_close, zip_error, nullptr};
  zipFile zip = zipOpen2(call.source, APPEND_STATUS_CREATE, nullptr, &io);
  if (zip == nullptr)
    return status::zip_create_failed;
  zip_packing packing{
      call, zip,
      directory_prefix_length(call.spec, static_cast<int>(strnlen(call.spec, max_spec_chars)))};
  int code = walk_tree(call, &zip_packing::visit, &packing, status::zip_source_failed);
  // Always completed: the entries written so far make a valid ZIP file.
  if (zipClose(zip, nullptr) != ZIP_OK && code == status::success)
    code = status::zip_create_failed;
  return code;
}

} // namespace archive
