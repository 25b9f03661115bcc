// The file layer: files opened by open mode code and named by 16-bit handles,
// transfers of at most 32767 bytes, and directory creation and probing. Every
// failed read, write and seek, and an over-large handle, is written as one
// record to the error log before the call returns.
#pragma once

#include "sys/file_handle.h"
#include "sys/platform.h"

#include <cstdint>

namespace sys {

// Largest count one transfer may ask for: its result must read back as a
// non-negative 16-bit value.
inline constexpr std::uint16_t max_transfer_bytes = 32767;

// Open mode codes of file_open.
namespace open_mode {
inline constexpr int read_exclusive = 0;     // read, not shared, existing file
inline constexpr int create = 1;             // read/write, not shared, created or emptied
inline constexpr int read_write = 2;         // read/write, not shared, existing file
inline constexpr int read_write_18 = 18;     // as 2
inline constexpr int read_shared = 32;       // read, others may read, existing file
inline constexpr int read_write_shared = 66; // read/write, others may read and write
inline constexpr int read_write_plain = 7;   // as 2, with no attributes given
} // namespace open_mode

// Seek methods of file_seek.
namespace seek_from {
inline constexpr int start = 0;
inline constexpr int current = 1;
inline constexpr int end = 2;
} // namespace seek_from

// Opens path (cut to its first 256 characters and folded, see fold_name_copy)
// with an open mode code. Returns a handle 0..32767; -1 when the platform
// refuses the open or the code is not one of the seven (no error record);
// -2 when the platform's handle value is above 0x7FFF (it is closed again and
// "Error Handle" 9/9 is logged).
file_handle file_open(const char* path, int mode);

// As file_open, for a path made of names that a directory listing returned:
// those are Windows-1252 already, so the path is used as it stands, not
// folded, and one longer than 256 characters is refused (-1), never cut.
file_handle file_open_unfolded(const char* path, int mode);

// Opens relative below the directory base with an open mode code, as
// file_open does, except that no link below base is followed and nothing is
// folded: base and relative go to the platform as given (see
// platform::create_file_below). base\relative of more than 256 characters in
// all is refused with -1, never cut, without calling the platform. Returns
// as file_open does; a link met below base is a refusal (-1) with the
// platform error stopped_on_symlink, an existing file with other hard links
// opened for writing one with too_many_links.
file_handle file_open_below(const char* base, const char* relative, int mode);

// The platform error of the latest call of this layer that failed (an open,
// a transfer, file_status, file_cut, file_close_checked), kept apart from the
// calls the error log itself makes.
std::uint32_t file_last_error();

// Reads up to count bytes into buffer. Returns the count read (0 at the end of
// the file), or -2 after logging "Error read" with the platform error's low and
// high 16 bits. A count above 32767 is refused the same way with error 87
// (invalid parameter), without calling the platform. A failed read leaves the
// handle open.
std::int16_t file_read(file_handle handle, void* buffer, std::uint16_t count);

// Writes count bytes from buffer. Returns the count written, or -2 after
// logging "Error write" as file_read does; counts above 32767 are refused
// likewise.
std::int16_t file_write(file_handle handle, const void* buffer, std::uint16_t count);

// Moves to offset (unsigned, never a backward move) from the start (0), the
// current position (1) or the end (2). Returns the new position, or a negative
// value after logging "Seek error": a failure, or a position of 2^31 or more.
std::int32_t file_seek(file_handle handle, std::uint32_t offset, int method);

// The size and times of an open file: 0, or -1 on failure (not logged;
// file_last_error tells why).
int file_status(file_handle handle, file_information* out);

// Cuts a file open for writing to its first length bytes and leaves the
// position there: 0, or -1 on failure (not logged).
int file_cut(file_handle handle, std::uint32_t length);

// Closes the handle; the platform's answer is not examined. Returns 0.
int file_close(file_handle handle);

// Closes the handle and says whether the platform did: 0, or -1 when the
// close failed (a late write error, such as a full disk on a network file
// system), so that a file written in full is not taken as complete. The
// handle is gone either way. Nothing is logged.
int file_close_checked(file_handle handle);

// Creates one directory (its parent must exist), path as given. 0 on success,
// -1 on any failure, an existing directory included. Nothing is logged.
int dir_create(const char* path);

// Creates the directory relative below the directory base (its parent must
// exist), following no link below base; base and relative as given. 0 on
// success, -1 on any failure (an existing entry of that name included, and
// base\relative of more than 256 characters). Nothing is logged.
int dir_create_below(const char* base, const char* relative);

// Removes one empty directory (path cut and folded as file_open does). 0 on
// success, -1 on failure. Nothing is logged.
int dir_remove(const char* path);

// Removes the directory at path (cut and folded as file_open does; a trailing
// backslash allowed) with everything below it, following no link inside it:
// a link there is removed itself. 0 when nothing of it is left (also when
// there was nothing), -1 when anything could not be removed (what could is
// gone) or path names no directory below a parent (a drive root);
// file_last_error() then tells the first failure. Nothing is logged.
int dir_remove_tree(const char* path);

// Creates the directory and removes it again. 0 when both succeed; -1 when the
// creation fails, or when the removal fails (the new directory then stays).
int dir_probe(const char* path);

// Owns a file handle for a scope and closes it on exit; a negative handle is
// never passed to file_close.
class scoped_file {
public:
  scoped_file() = default;
  explicit scoped_file(file_handle h) : handle_(h) {}
  ~scoped_file() { reset(); }
  scoped_file(scoped_file&& other) noexcept : handle_(other.release()) {}
  scoped_file& operator=(scoped_file&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = other.release();
    }
    return *this;
  }
  scoped_file(const scoped_file&) = delete;
  scoped_file& operator=(const scoped_file&) = delete;

  file_handle get() const { return handle_; }
  bool ok() const { return handle_ >= 0; }
  file_handle release() {
    const file_handle h = handle_;
    handle_ = refused_handle;
    return h;
  }
  void reset(file_handle h = refused_handle) {
    if (handle_ >= 0)
      file_close(handle_);
    handle_ = h;
  }
  // Closes now: 0, or -1 when the platform's close failed (file_close_checked).
  int close() {
    const file_handle h = release();
    return h >= 0 ? file_close_checked(h) : 0;
  }

private:
  file_handle handle_ = refused_handle;
};

} // namespace sys
