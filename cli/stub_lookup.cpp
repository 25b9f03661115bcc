// velmora-pack build --stub NAME: the stubs the kit ships, found by name
// beside the installed program or in the build tree it runs from.
#include "cli/commands.h"
#include "cli/host.h"

#include <array>
#include <string_view>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace cli {

namespace {

struct named_stub {
  const char* name;
  const char* installed; // file name in share/velmora/stubs/
  const char* built;     // file name in build/<name>/bin/
};

constexpr named_stub named_stubs[] = {
    {"linux", "velmora-setup", "velmora-setup"},
    {"win32", "velmora-setup-win32.exe", "velmora-setup.exe"},
    {"win64", "velmora-setup-win64.exe", "velmora-setup.exe"},
};

// The stub this program's own build makes: the one that lies beside it in a
// build tree of any preset (linux-programs and linux-asan build the Linux stub
// as well as linux does).
#ifdef _WIN32
constexpr const char* own_stub = sizeof(void*) == 4 ? "win32" : "win64";
#else
constexpr const char* own_stub = "linux";
#endif

// The running program's own file, in host form; empty when it cannot be had.
fs::path own_program() {
  std::error_code ec;
  // Linux names the program's file here, whatever the command line said.
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec)
    return self;
  // Elsewhere (Windows), the platform's module name, turned back into host form.
  sys::platform& host = sys::current_platform();
  std::array<char, 1024> drive{};
  std::array<char, 4096> native{};
  if (host.module_file_name(drive.data(), drive.size()) == 0 ||
      !host.drive_to_host_path(drive.data(), native.data(), native.size()))
    return {};
  return host_fs_path(native.data());
}

// Where the stub s may lie, in the order looked at.
std::vector<fs::path> stub_candidates(const named_stub& s) {
  std::vector<fs::path> out;
  const fs::path self = own_program();
  if (self.empty())
    return out;
  const fs::path bin = self.parent_path();
  out.push_back((bin / ".." / "share" / "velmora" / "stubs" / s.installed).lexically_normal());
  // A program of the build tree lies in build/<preset>/bin/, beside the
  // configured tree's CMakeCache.txt, with the stub its own build made; the
  // other presets lie next to it.
  std::error_code ec;
  if (fs::is_regular_file(bin / ".." / "CMakeCache.txt", ec)) {
    if (std::string_view(s.name) == own_stub)
      out.push_back((bin / s.built).lexically_normal());
    else
      out.push_back((bin / ".." / ".." / s.name / "bin" / s.built).lexically_normal());
  }
  return out;
}

} // namespace

bool find_stub(const std::string& arg, std::string* path, std::string* error) {
  for (const named_stub& s : named_stubs) {
    if (arg != s.name)
      continue;
    const auto candidates = stub_candidates(s);
    std::string looked;
    std::error_code ec;
    for (const fs::path& candidate : candidates) {
      if (fs::is_regular_file(candidate, ec)) {
        *path = host_path_text(candidate);
        return true;
      }
      looked += (looked.empty() ? "" : " and ") + host_path_text(candidate);
    }
    *error =
        "--stub " + arg + ": no such stub (looked for " +
        (looked.empty() ? std::string("the program's own file, which cannot be found") : looked) +
        "); build and install the " + arg + " preset, or give the stub's path";
    return false;
  }
  *path = arg; // a path
  return true;
}

} // namespace cli
