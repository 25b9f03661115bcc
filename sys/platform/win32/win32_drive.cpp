// Drives: the type of a drive and the free space on it.
#include "sys/platform/win32/win32_platform.h"

#include "sys/platform/win32/win32_text.h"

namespace sys::win32 {

namespace {

// While alive, the calling thread's failing media accesses (an empty floppy
// or CD drive) fail at once instead of asking the user to insert a disk.
class quiet_media_errors {
public:
  quiet_media_errors() { restore_ = ::SetThreadErrorMode(SEM_FAILCRITICALERRORS, &old_) != 0; }
  ~quiet_media_errors() {
    if (restore_)
      ::SetThreadErrorMode(old_, nullptr);
  }
  quiet_media_errors(const quiet_media_errors&) = delete;
  quiet_media_errors& operator=(const quiet_media_errors&) = delete;

private:
  DWORD old_ = 0;
  bool restore_ = false;
};

} // namespace

drive_type platform::get_drive_type(const char* root) {
  return guarded(drive_type::unknown, [&] {
    // No root: the working directory's drive, as GetDriveType has it.
    const std::wstring wide = root ? to_wide(root) : std::wstring();
    return static_cast<drive_type>(::GetDriveTypeW(root ? wide.c_str() : nullptr));
  });
}

bool platform::get_disk_free_space(const char* root, std::uint32_t* sectors_per_cluster,
                                   std::uint32_t* bytes_per_sector, std::uint32_t* free_clusters,
                                   std::uint32_t* total_clusters) {
  return guarded(false, [&] {
    const std::wstring wide = root ? to_wide(root) : std::wstring();
    return disk_free_space(root ? wide.c_str() : nullptr, sectors_per_cluster, bytes_per_sector,
                           free_clusters, total_clusters);
  });
}

bool platform::disk_free_space(const wchar_t* root, std::uint32_t* sectors_per_cluster,
                               std::uint32_t* bytes_per_sector, std::uint32_t* free_clusters,
                               std::uint32_t* total_clusters) {
  DWORD per_cluster = 0;
  DWORD sector = 0;
  DWORD free_count = 0;
  DWORD total_count = 0;
  BOOL ok = FALSE;
  DWORD code = NO_ERROR;
  {
    const quiet_media_errors quiet;
    ok = ::GetDiskFreeSpaceW(root, &per_cluster, &sector, &free_count, &total_count);
    if (!ok)
      code = ::GetLastError();
  }
  if (!ok)
    return fail(code, false);
  if (sectors_per_cluster)
    *sectors_per_cluster = per_cluster;
  if (bytes_per_sector)
    *bytes_per_sector = sector;
  if (free_clusters)
    *free_clusters = free_count;
  if (total_clusters)
    *total_clusters = total_count;
  return true;
}

} // namespace sys::win32
