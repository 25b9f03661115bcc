// The platform seam: the few operating-system operations the file layer, the
// scanner, the engine and the installer need, in the shape of the Win32 calls
// they stand for (CreateFileA, ReadFile, FindFirstFileA, GetDiskFreeSpaceA, ...).
//
// Everything above this header is platform-free. Exactly one backend is built
// into each program (sys/platform/posix or sys/platform/win32), chosen at build
// time; tests may install a wrapping backend with set_platform() and restore the
// previous one afterwards. No native type appears here: handles are plain
// integers, texts are 8-bit Windows-1252 and paths are in drive form
// (`C:\DIR\NAME.EXT`).
//
// Threading: every call comes from the one thread of the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace sys {

// A native handle value as the platform hands it out (a Win32 HANDLE widened to
// an integer, or a POSIX descriptor). invalid_handle_value is the failure value
// of create_file and find_first_file, like INVALID_HANDLE_VALUE.
using native_handle = std::intptr_t;
inline constexpr native_handle invalid_handle_value = -1;

// Platform error codes, with Win32's numbers on every backend, so the error log
// reads the same everywhere (GetLastError).
namespace error {
inline constexpr std::uint32_t success = 0;                  // ERROR_SUCCESS
inline constexpr std::uint32_t file_not_found = 2;           // ERROR_FILE_NOT_FOUND
inline constexpr std::uint32_t path_not_found = 3;           // ERROR_PATH_NOT_FOUND
inline constexpr std::uint32_t access_denied = 5;            // ERROR_ACCESS_DENIED
inline constexpr std::uint32_t invalid_handle = 6;           // ERROR_INVALID_HANDLE
inline constexpr std::uint32_t not_enough_memory = 8;        // ERROR_NOT_ENOUGH_MEMORY
inline constexpr std::uint32_t no_more_files = 18;           // ERROR_NO_MORE_FILES
inline constexpr std::uint32_t write_fault = 29;             // ERROR_WRITE_FAULT
inline constexpr std::uint32_t read_fault = 30;              // ERROR_READ_FAULT
inline constexpr std::uint32_t gen_failure = 31;             // ERROR_GEN_FAILURE
inline constexpr std::uint32_t sharing_violation = 32;       // ERROR_SHARING_VIOLATION
inline constexpr std::uint32_t handle_eof = 38;              // ERROR_HANDLE_EOF
inline constexpr std::uint32_t not_supported = 50;           // ERROR_NOT_SUPPORTED
inline constexpr std::uint32_t file_exists = 80;             // ERROR_FILE_EXISTS
inline constexpr std::uint32_t invalid_parameter = 87;       // ERROR_INVALID_PARAMETER
inline constexpr std::uint32_t disk_full = 112;              // ERROR_DISK_FULL
inline constexpr std::uint32_t invalid_name = 123;           // ERROR_INVALID_NAME
inline constexpr std::uint32_t dir_not_empty = 145;          // ERROR_DIR_NOT_EMPTY
inline constexpr std::uint32_t already_exists = 183;         // ERROR_ALREADY_EXISTS
inline constexpr std::uint32_t filename_too_long = 206;      // ERROR_FILENAME_EXCED_RANGE
inline constexpr std::uint32_t negative_seek = 131;          // ERROR_NEGATIVE_SEEK
inline constexpr std::uint32_t stopped_on_symlink = 681;     // ERROR_STOPPED_ON_SYMLINK
inline constexpr std::uint32_t too_many_links = 1142;        // ERROR_TOO_MANY_LINKS
inline constexpr std::uint32_t cant_resolve_filename = 1921; // ERROR_CANT_RESOLVE_FILENAME:
                                                             // a link loop
} // namespace error

// Access rights of create_file (GENERIC_READ, GENERIC_WRITE).
inline constexpr std::uint32_t access_read = 0x80000000u;
inline constexpr std::uint32_t access_write = 0x40000000u;

// What other opens of the same file may do meanwhile (FILE_SHARE_*).
inline constexpr std::uint32_t share_read = 0x1u;
inline constexpr std::uint32_t share_write = 0x2u;

// Create-or-open behaviour of create_file (Win32 dispositions).
enum class disposition : std::uint32_t {
  create_new = 1,    // CREATE_NEW: fails when the file exists
  create_always = 2, // CREATE_ALWAYS: creates, or empties an existing file
  open_existing = 3, // OPEN_EXISTING: fails when the file is missing
};

// File attributes (FILE_ATTRIBUTE_*), as create_file takes and find data gives.
inline constexpr std::uint32_t attribute_read_only = 0x01u;
inline constexpr std::uint32_t attribute_directory = 0x10u;
inline constexpr std::uint32_t attribute_archive = 0x20u;
inline constexpr std::uint32_t attribute_normal = 0x80u;

// Move methods of set_file_pointer (FILE_BEGIN, FILE_CURRENT, FILE_END).
enum class move_method : std::uint32_t { begin = 0, current = 1, end = 2 };

// The failure value of set_file_pointer (INVALID_SET_FILE_POINTER).
inline constexpr std::uint32_t invalid_set_file_pointer = 0xFFFFFFFFu;

// Drive types of get_drive_type (DRIVE_*).
enum class drive_type : std::uint32_t {
  unknown = 0,     // DRIVE_UNKNOWN
  no_root_dir = 1, // DRIVE_NO_ROOT_DIR: no such drive
  removable = 2,   // DRIVE_REMOVABLE
  fixed = 3,       // DRIVE_FIXED
  remote = 4,      // DRIVE_REMOTE
  cdrom = 5,       // DRIVE_CDROM
  ramdisk = 6,     // DRIVE_RAMDISK
};

// Show command of win_exec (SW_SHOWNORMAL).
inline constexpr std::uint32_t show_normal = 1;

// Room in find_data's name fields, as in WIN32_FIND_DATAA.
inline constexpr int max_long_name_bytes = 260; // MAX_PATH
inline constexpr int max_short_name_bytes = 14;

// One directory entry as find_first_file / find_next_file deliver it
// (WIN32_FIND_DATAA, reduced to what the system reads).
struct find_data {
  std::uint32_t attributes = 0;      // attribute_* bits
  std::uint32_t size_high = 0;       // file size, high 32 bits
  std::uint32_t size_low = 0;        // file size, low 32 bits
  std::uint64_t last_write_time = 0; // FILETIME: 100 ns units since 1601-01-01 UTC
  // The entry's name, Windows-1252, NUL-terminated.
  char long_name[max_long_name_bytes] = {};
  // The 8.3 alias, NUL-terminated; empty when the platform keeps none (always
  // so on POSIX, and on Windows when the long name is itself a valid 8.3 name).
  char short_name[max_short_name_bytes] = {};
  // 0, or why the entry cannot be used although it is listed: the error that
  // opening it gives (a link that leads nowhere: file_not_found; a link that
  // leads back to itself or to a directory above it: cant_resolve_filename).
  // Such an entry is listed as a file, so that walks can name it.
  std::uint32_t error = 0;
};

// What get_file_information tells of an open file.
struct file_information {
  std::uint64_t size = 0;
  std::uint64_t last_write_time = 0; // FILETIME, as find_data
  // When the file's data or status last changed (POSIX ctime, which no one
  // sets back as a writer may set back the last-write time); on Windows the
  // last-write time.
  std::uint64_t change_time = 0;
};

// Whether a file is as it was: the same size and times. The change time
// catches a writer that sets the last-write time back.
inline bool unchanged(const file_information& before, const file_information& after) {
  return before.size == after.size && before.last_write_time == after.last_write_time &&
         before.change_time == after.change_time;
}

// The operations of one platform. Each call states its Win32 model; results and
// failure values follow that model, and every failing call sets last_error().
class platform {
public:
  virtual ~platform() = default;

  // --- files ---------------------------------------------------------------

  // CreateFileA. path: drive form, Windows-1252. access: access_* bits; share:
  // share_* bits; attributes: attribute_* bits for a new file (0 allowed).
  // Returns an open handle, or invalid_handle_value (last_error: file_not_found,
  // path_not_found, access_denied, sharing_violation, invalid_name, ...).
  // Sharing is enforced between opens of this process as Windows does it.
  virtual native_handle create_file(const char* path, std::uint32_t access, std::uint32_t share,
                                    disposition how, std::uint32_t attributes) = 0;

  // CreateFileA of base\relative that never follows a link below base. base:
  // drive form, an existing directory, resolved as create_file resolves paths
  // (its links are the caller's choice and are followed); it may end in a
  // backslash. relative: components joined by single backslashes, each one
  // existing or new as create_file matches them, none empty, "." or "..",
  // made of dots and blanks only, or holding '/', ':' or control characters
  // (invalid_name). An existing component below base that is a symbolic link
  // or another reparse point, whether it leads to a file, a directory or
  // nowhere, is refused with stopped_on_symlink; the file itself must be a
  // regular file (access_denied), and an existing one with other hard links
  // is not opened for writing or emptied (too_many_links). Otherwise as
  // create_file, sharing rules included; a refused create_always leaves an
  // existing file as it was.
  virtual native_handle create_file_below(const char* base, const char* relative,
                                          std::uint32_t access, std::uint32_t share,
                                          disposition how, std::uint32_t attributes) = 0;

  // ReadFile, synchronous. Reads up to count bytes into buffer; *done receives
  // the count read (0 at the end of the file). Returns false on failure, with
  // *done set to 0 (last_error: invalid_handle, access_denied, read_fault, ...).
  virtual bool read_file(native_handle handle, void* buffer, std::uint32_t count,
                         std::uint32_t* done) = 0;

  // WriteFile, synchronous. Returns false on failure, *done then holds what was
  // written before the failure (last_error: invalid_handle, disk_full, ...).
  virtual bool write_file(native_handle handle, const void* buffer, std::uint32_t count,
                          std::uint32_t* done) = 0;

  // SetFilePointer with a distance of `distance` (unsigned, high part 0, so never
  // negative). Returns the low 32 bits of the new position, or
  // invalid_set_file_pointer on failure (last_error: invalid_handle, ...).
  // A success whose position's low half is 0xFFFFFFFF sets last_error to success.
  virtual std::uint32_t set_file_pointer(native_handle handle, std::uint32_t distance,
                                         move_method method) = 0;

  // CloseHandle. Returns false for a handle that is not open, and when the
  // close itself failed (a late write error); the handle is gone either way.
  virtual bool close_handle(native_handle handle) = 0;

  // GetFileInformationByHandle, reduced to the size and the times.
  // False for a handle that is not open or a failing call.
  virtual bool get_file_information(native_handle handle, file_information* out) = 0;

  // SetEndOfFile: the file ends at the current position (a file opened for
  // writing). False on failure.
  virtual bool set_end_of_file(native_handle handle) = 0;

  // GetLastError: the error of the latest failing call of this backend.
  virtual std::uint32_t last_error() = 0;

  // --- directories ---------------------------------------------------------

  // CreateDirectoryA with inheritable default security. One level: the parent
  // must exist. False when the directory or a file of that name exists
  // (already_exists) or the parent is missing (path_not_found).
  virtual bool create_directory(const char* path) = 0;

  // CreateDirectoryA of base\relative, with base and relative as
  // create_file_below takes them: a link among the components that lead to
  // the new directory is refused with stopped_on_symlink; an existing entry of
  // the new directory's name (a link included) gives already_exists.
  virtual bool create_directory_below(const char* base, const char* relative) = 0;

  // RemoveDirectoryA. Only an empty directory. False on failure
  // (file_not_found, dir_not_empty, access_denied, ...).
  virtual bool remove_directory(const char* path) = 0;

  // Removes base\relative and, when it is a directory, everything below it,
  // never following a link: a link below base (to a file, a directory or
  // nowhere) is removed itself, never what it leads to. base and relative as
  // create_file_below takes them. Carries on past an entry it cannot remove;
  // false then, with last_error the first failure (file_not_found when
  // base\relative does not exist, stopped_on_symlink when a component of
  // relative before the last is a link).
  virtual bool remove_tree_below(const char* base, const char* relative) = 0;

  // --- directory listings --------------------------------------------------

  // FindFirstFileA. pattern: drive-form path whose last component may hold the
  // wildcards `*` and `?` (`*.*` matches every name). On success fills *out with
  // the first entry and returns a find handle; returns invalid_handle_value when
  // nothing matches or the directory is missing (last_error: file_not_found,
  // path_not_found). The "." and ".." entries of a non-root directory come first.
  virtual native_handle find_first_file(const char* pattern, find_data* out) = 0;

  // FindNextFileA. Fills *out with the next entry; false at the end
  // (last_error: no_more_files) or for a bad handle.
  virtual bool find_next_file(native_handle find, find_data* out) = 0;

  // FindClose.
  virtual bool find_close(native_handle find) = 0;

  // --- text ----------------------------------------------------------------

  // CharUpperBuffA: upper-cases length bytes of text in place by the letters of
  // Windows-1252 (a to A, ä to Ä, š to Š, ÿ to Ÿ; ß and µ stay). Returns length.
  virtual std::uint32_t char_upper(char* text, std::uint32_t length) = 0;

  // --- drives --------------------------------------------------------------

  // GetDriveTypeA. root: three characters and a NUL, like "C:\".
  virtual drive_type get_drive_type(const char* root) = 0;

  // GetDiskFreeSpaceA. Fills the four counts and returns true, or returns false
  // for a drive that is missing or unreadable (outputs then unset).
  virtual bool get_disk_free_space(const char* root, std::uint32_t* sectors_per_cluster,
                                   std::uint32_t* bytes_per_sector, std::uint32_t* free_clusters,
                                   std::uint32_t* total_clusters) = 0;

  // --- the process ---------------------------------------------------------

  // GetModuleFileNameA for the running program: its full path in drive form,
  // NUL-terminated, cut to size - 1 bytes when longer. Returns the count of
  // bytes written without the NUL, or 0 on failure (out then holds "").
  // The one text here that is not Windows-1252: on Windows it is the ANSI
  // code page's bytes, as the installed program reads them back, which may
  // hold '?' for letters that code page lacks. Handed back whole to the file
  // calls (as given, or folded as file_open folds paths), it still opens the
  // program's own file: the backend keeps the path Windows really has.
  virtual std::uint32_t module_file_name(char* out, std::uint32_t size) = 0;

  // WinExec: starts the program whose drive-form path is command_line and does
  // not wait for it. Returns a value above 31 on success, else an error number
  // (2 file not found, 3 path not found, 11 not executable).
  virtual std::uint32_t win_exec(const char* command_line, std::uint32_t show) = 0;

  // GetProfileStringA: the value of key in section of the user's profile
  // (section and key ignore case), else fallback, copied into out and cut to
  // size - 1 bytes. Returns the count copied without the NUL.
  virtual std::uint32_t profile_string(const char* section, const char* key, const char* fallback,
                                       char* out, std::uint32_t size) = 0;

  // FileTimeToLocalFileTime then FileTimeToDosDateTime: a FILETIME in UTC as the
  // DOS date and time of the local time zone. False for a time DOS cannot hold
  // (before 1980 or after 2107).
  virtual bool file_time_to_local_dos(std::uint64_t file_time, std::uint16_t* dos_date,
                                      std::uint16_t* dos_time) = 0;

  // fopen(path, "rb") of the runtime's buffered streams, with a drive-form path.
  // Returns nullptr on failure; the caller fcloses the stream.
  virtual std::FILE* open_read_stream(const char* path) = 0;

  // fopen(path, "wb"): creates or empties the file at a drive-form path for
  // buffered writing (and seeking). Returns nullptr on failure; the caller
  // fcloses the stream.
  virtual std::FILE* open_write_stream(const char* path) = 0;

  // --- the host's own path form (for commands, never for the engine) -------

  // Turns a path of the host (on POSIX an absolute or relative native path, on
  // Windows a Windows path) into drive form, Windows-1252, in out[size].
  // A native path that ends in a separator keeps a trailing backslash.
  // Returns true, or false when no drive holds the path or it does not fit.
  virtual bool host_to_drive_path(const char* host_path, char* out, std::uint32_t size) = 0;

  // Turns a drive-form path into the host's path (existing components matched
  // as create_file would match them), in the host's encoding, in out[size].
  // Returns true, or false when the drive is not mapped or it does not fit.
  virtual bool drive_to_host_path(const char* drive_path, char* out, std::uint32_t size) = 0;

  // Text of the host (a command line's arguments, on POSIX UTF-8) as the
  // system's Windows-1252, in out[size]. Characters Windows-1252 lacks become
  // '?'. Returns false when a character was replaced or the text does not fit.
  virtual bool host_text_to_system(const char* text, char* out, std::uint32_t size) = 0;

  // The system's Windows-1252 text as the host's text (for people to read).
  // Cut to size - 1 bytes when longer; returns false when cut.
  virtual bool system_text_to_host(const char* text, char* out, std::uint32_t size) = 0;

  // Whether the standard stream (1 output, 2 error) is a terminal.
  virtual bool is_terminal(int stream) = 0;

  // Gives the file at a host path the permissions a linker gives the program
  // it writes: on POSIX mode 0777 less the process's umask. Windows has no
  // execute permission: there it does nothing. False on failure
  // (last_error says why).
  virtual bool make_executable(const char* host_path) = 0;
};

// 64-bit positioning of the runtime's buffered streams, for files beyond the
// reach of a `long` (2 GiB on Windows). origin: SEEK_SET, SEEK_CUR, SEEK_END.
// seek_stream returns 0 or -1; tell_stream the position or -1.
int seek_stream(std::FILE* stream, std::int64_t offset, int origin);
std::int64_t tell_stream(std::FILE* stream);
// The size and times of the file under an open stream; false on failure.
bool stream_information(std::FILE* stream, file_information* out);

// Whether name[0..length) is one component that stays inside its directory
// on every platform: not empty, not made of dots and blanks only ("..", and
// "..." or ". ." which Windows cuts to ".."), and holding no '\\', '/', ':'
// or control character.
bool is_plain_name(const char* name, std::size_t length);

// Whether relative is a path create_file_below and create_directory_below
// take: one or more plain names joined by single backslashes.
bool is_plain_relative_path(const char* relative);

// The characters, besides those is_plain_name refuses, that Windows forbids
// in names. '?' also stands in for the characters a listing cannot convert
// to Windows-1252.
inline constexpr const char* windows_forbidden_chars = "<>\"|?*";

// The backend in use: the build's own, unless a test installed another.
platform& current_platform();

// Installs p (nullptr: the build's own) and returns the one it replaces.
platform* set_platform(platform* p);

// The build's own backend (posix or win32), whatever is installed.
platform& native_platform();

} // namespace sys
