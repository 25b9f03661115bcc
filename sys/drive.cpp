// The free-space probe of drives.
#include "sys/drive.h"

#include "sys/platform.h"

#include <limits>

namespace sys {

std::int32_t drive_free_kb(char letter) {
  const char root[4] = {letter, ':', '\\', '\0'};
  platform& p = current_platform();
  if (p.get_drive_type(root) == drive_type::removable)
    return 0;
  std::uint32_t sectors_per_cluster = 0, bytes_per_sector = 0, free_clusters = 0,
                total_clusters = 0;
  if (!p.get_disk_free_space(root, &sectors_per_cluster, &bytes_per_sector, &free_clusters,
                             &total_clusters))
    return 0;
  // In floating point so the product cannot overflow. The counts are taken as
  // unsigned, so a drive with 2^31 or more free clusters is not read as a
  // negative size; a result beyond the signed 32-bit range is capped.
  const double kb =
      static_cast<double>(sectors_per_cluster) * bytes_per_sector * free_clusters / 1024.0;
  constexpr auto most = std::numeric_limits<std::int32_t>::max();
  return kb >= static_cast<double>(most) ? most : static_cast<std::int32_t>(kb);
}

} // namespace sys
