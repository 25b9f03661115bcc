// Test drives on POSIX: the backend's own drive map, VELMORA_DRIVES.
#include "tests/support/temp_drive.h"

namespace velmora_test {

namespace {

class env_drive_map final : public drive_map {
public:
  env_drive_map(const std::filesystem::path& c, const std::filesystem::path& d)
      : drives_("VELMORA_DRIVES", ("C=" + c.string() + ";D=" + d.string()).c_str()) {}

private:
  scoped_env drives_;
};

} // namespace

std::unique_ptr<drive_map> map_test_drives(const std::filesystem::path& c,
                                           const std::filesystem::path& d) {
  return std::make_unique<env_drive_map>(c, d);
}

} // namespace velmora_test
