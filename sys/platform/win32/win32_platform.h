// The Win32 backend of the platform seam: each call is the Win32 call it names,
// made through the wide ("W") function. Paths and names cross the seam as
// Windows-1252 and are converted to and from UTF-16 here (win32_text.h), never
// through the machine's ANSI code page, so a name such as KÖK is the same
// file on a Russian, Greek or UTF-8 system as on a Western one. Listed names
// that Windows-1252 cannot hold come back with '?' for each such character.
//
// The one text that comes from the system rather than from Windows-1252 is the
// program's own path: module_file_name hands out the bytes GetModuleFileNameA
// gives (ANSI, which may hold '?' for letters the code page lacks, or be the
// code page's own bytes), and keeps the wide path beside them. A path handed
// back that is byte-equal to those bytes, or to them as file_open folds them,
// opens the wide path, so the installer finds itself in any directory.
//
//===----------------------------------------------------------------------===//
//=== Generic Win32 only: nothing here may need more than Windows 7, nor one
//=== compiler's or SDK's extras.
//===----------------------------------------------------------------------===//
#pragma once

// First: it fixes the Windows API level before any other header looks at it.
#include "sys/platform/win32/win32_api.h"

#include "sys/platform/platform_backend.h"
#include "sys/platform/win32/win32_handle.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace sys::win32 {

// The seam's value of handle h: the pointer-sized HANDLE as an integer, so
// INVALID_HANDLE_VALUE is -1, invalid_handle_value. Going back, the backend
// takes the HANDLE it keeps for a value, never a cast of the value itself.
static_assert(sizeof(native_handle) >= sizeof(HANDLE));
inline native_handle to_native(HANDLE h) noexcept {
  return reinterpret_cast<native_handle>(h);
}

// The longest path the calls take, as the "A" calls took it: MAX_PATH
// characters (without \\?\, the wide calls would refuse longer ones too, only
// with another error).
inline constexpr std::size_t max_native_path_chars = MAX_PATH;

// base\relative in path (UTF-16), checked as create_file_below and
// create_directory_below take them: invalid_parameter, invalid_name (relative
// is no plain relative path), filename_too_long (beyond max_native_path_chars),
// stopped_on_symlink (an existing component below base is a reparse point:
// each one before a backslash, and the last one too when with_last), or
// NO_ERROR, a missing component included.
DWORD path_below(const char* base, const char* relative, bool with_last, std::wstring& path);

class platform final : public sys::platform_backend {
public:
  platform() = default;
  platform(const platform&) = delete;
  platform& operator=(const platform&) = delete;

  native_handle create_file(const char* path, std::uint32_t access, std::uint32_t share,
                            disposition how, std::uint32_t attributes) override;
  native_handle create_file_below(const char* base, const char* relative, std::uint32_t access,
                                  std::uint32_t share, disposition how,
                                  std::uint32_t attributes) override;
  bool read_file(native_handle handle, void* buffer, std::uint32_t count,
                 std::uint32_t* done) override;
  bool write_file(native_handle handle, const void* buffer, std::uint32_t count,
                  std::uint32_t* done) override;
  std::uint32_t set_file_pointer(native_handle handle, std::uint32_t distance,
                                 move_method method) override;
  bool close_handle(native_handle handle) override;
  bool get_file_information(native_handle handle, file_information* out) override;
  bool set_end_of_file(native_handle handle) override;

  bool create_directory(const char* path) override;
  bool create_directory_below(const char* base, const char* relative) override;
  bool remove_tree_below(const char* base, const char* relative) override;
  bool remove_directory(const char* path) override;

  native_handle find_first_file(const char* pattern, find_data* out) override;
  bool find_next_file(native_handle find, find_data* out) override;
  bool find_close(native_handle find) override;

  std::uint32_t char_upper(char* text, std::uint32_t length) override;

  drive_type get_drive_type(const char* root) override;
  bool get_disk_free_space(const char* root, std::uint32_t* sectors_per_cluster,
                           std::uint32_t* bytes_per_sector, std::uint32_t* free_clusters,
                           std::uint32_t* total_clusters) override;

  std::uint32_t module_file_name(char* out, std::uint32_t size) override;
  std::uint32_t win_exec(const char* command_line, std::uint32_t show) override;
  std::uint32_t profile_string(const char* section, const char* key, const char* fallback,
                               char* out, std::uint32_t size) override;
  bool file_time_to_local_dos(std::uint64_t file_time, std::uint16_t* dos_date,
                              std::uint16_t* dos_time) override;
  std::FILE* open_read_stream(const char* path) override;
  std::FILE* open_write_stream(const char* path) override;

  bool host_to_drive_path(const char* host_path, char* out, std::uint32_t size) override;
  bool drive_to_host_path(const char* drive_path, char* out, std::uint32_t size) override;
  bool host_text_to_system(const char* text, char* out, std::uint32_t size) override;
  bool system_text_to_host(const char* text, char* out, std::uint32_t size) override;
  bool is_terminal(int stream) override;
  bool make_executable(const char* host_path) override;

private:
  // Records GetLastError() as the latest failure: call it straight after the
  // failing Win32 call, before anything else can change the thread's error.
  template <class R> R fail_native(R failure) { return fail(::GetLastError(), failure); }

  // The UTF-16 path of a drive-form path: the program's own wide path when
  // path is the module path module_file_name handed out (as it was, or folded
  // as file_open folds it), else path converted from Windows-1252. False, with
  // last_error set, for no path or one longer than max_native_path_chars.
  bool wide_path(const char* path, std::wstring& out);

  // GetDiskFreeSpaceW of root (nullptr: the working directory's drive), as
  // get_disk_free_space.
  bool disk_free_space(const wchar_t* root, std::uint32_t* sectors_per_cluster,
                       std::uint32_t* bytes_per_sector, std::uint32_t* free_clusters,
                       std::uint32_t* total_clusters);

  // The open file of handle, or nullptr (last_error: invalid_handle).
  HANDLE lookup_file(native_handle handle);
  // The open file of handle for read_file or write_file, after setting *done
  // (when given) to 0; nullptr, with last_error set, for an unknown handle
  // (invalid_handle) or no buffer for a count above 0 (invalid_parameter).
  HANDLE transfer_file(native_handle handle, const void* buffer, std::uint32_t count,
                       std::uint32_t* done);

  // Takes an open file into the table and returns its handle value.
  native_handle adopt(unique_file&& file);
  // A buffered stream over the disk file at a drive path, opened with the
  // _wfopen mode.
  std::FILE* open_stream(const char* path, const wchar_t* mode);

  // Only handles this backend handed out and has not closed are passed to
  // Windows: a stray value could otherwise name a handle the runtime owns,
  // and -1 and -2 name the process and the thread themselves.
  std::map<native_handle, unique_file> files_;
  std::map<native_handle, unique_find> finds_;
  // The program's own path, kept by module_file_name: as Windows has it, the
  // ANSI bytes handed out, and those bytes folded as file_open folds paths.
  std::wstring module_wide_;
  std::string module_ansi_;
  std::string module_folded_;
};

} // namespace sys::win32
