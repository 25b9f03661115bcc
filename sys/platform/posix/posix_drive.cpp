// Drives: whether a letter is mapped, and the free space of its file system.
#include "sys/platform/posix/posix_path.h"
#include "sys/platform/posix/posix_platform.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>

namespace sys::posix {

namespace {

// The sector size reported whenever the file system's block size allows it.
constexpr std::uint32_t sector_bytes = 512;
constexpr std::uint64_t max_count = 0xFFFFFFFFu;

// The drive of a root like "C:\" (or "C:"); nullptr root is the drive that
// holds the working directory, as Windows takes it.
const drive_mapping* drive_of_root(const drive_map& map, const char* root) {
  if (!root) {
    std::string cwd;
    return working_directory(cwd) ? drive_holding(map, normalise_native(cwd)) : nullptr;
  }
  // "C:", "C:\" or "C:/"; anything longer is no root.
  if (root[0] == '\0' || root[1] != ':')
    return nullptr;
  if (root[2] != '\0' && (!is_separator(root[2]) || root[3] != '\0'))
    return nullptr;
  return find_drive(map, root[0]);
}

std::uint32_t capped(std::uint64_t count) {
  return static_cast<std::uint32_t>(std::min(count, max_count));
}

} // namespace

drive_type platform::get_drive_type(const char* root) {
  return guarded(drive_type::unknown, [&] {
    const drive_map map = read_drive_map();
    const drive_mapping* drive = drive_of_root(map, root);
    struct stat st {};
    if (!drive || ::stat(drive->dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
      return drive_type::no_root_dir;
    return drive_type::fixed;
  });
}

bool platform::get_disk_free_space(const char* root, std::uint32_t* sectors_per_cluster,
                                   std::uint32_t* bytes_per_sector, std::uint32_t* free_clusters,
                                   std::uint32_t* total_clusters) {
  return guarded(false, [&] {
    const drive_map map = read_drive_map();
    const drive_mapping* drive = drive_of_root(map, root);
    if (!drive)
      return fail(error::path_not_found, false);
    struct statvfs fs {};
    if (::statvfs(drive->dir.c_str(), &fs) != 0)
      return fail(errno == ENOENT ? error::path_not_found
                                  : error_from_errno(errno, failed_op::other),
                  false);
    const std::uint64_t block = fs.f_frsize != 0 ? fs.f_frsize : fs.f_bsize;
    std::uint32_t sector = sector_bytes;
    std::uint32_t per_cluster = capped(block / sector_bytes);
    if (block == 0 || block % sector_bytes != 0) {
      sector = capped(block);
      per_cluster = 1;
    }
    if (sectors_per_cluster)
      *sectors_per_cluster = per_cluster;
    if (bytes_per_sector)
      *bytes_per_sector = sector;
    if (free_clusters)
      *free_clusters = capped(fs.f_bavail);
    if (total_clusters)
      *total_clusters = capped(fs.f_blocks);
    return true;
  });
}

} // namespace sys::posix
