// Test drives on Windows. C: is the system's own drive and cannot be lent to a
// test, so the two test directories get two spare drive letters, and a wrapping
// platform shows those letters as C: and D: to the code under test. Paths keep
// their length, so the 255- and 256-byte limits are tried for real.
#include "sys/platform/win32/win32_api.h"

#include <winioctl.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "sys/forwarding_platform.h"
#include "sys/platform/win32/win32_handle.h"
#include "tests/support/temp_drive.h"

namespace velmora_test {

namespace {

// Serialises the choice of letters among test programs running at once: a
// letter counts as taken once it is mapped, so choosing and mapping go together.
class letter_choice_lock {
public:
  letter_choice_lock()
      : mutex_(::CreateMutexA(nullptr, FALSE, "Local\\velmora-test-drive-letters")) {
    if (mutex_)
      ::WaitForSingleObject(mutex_, INFINITE);
  }
  ~letter_choice_lock() {
    if (mutex_) {
      ::ReleaseMutex(mutex_);
      ::CloseHandle(mutex_);
    }
  }
  letter_choice_lock(const letter_choice_lock&) = delete;
  letter_choice_lock& operator=(const letter_choice_lock&) = delete;

private:
  HANDLE mutex_;
};

// Wine's own mount manager request (its ddk/mountmgr.h): a drive letter bound
// to a Unix directory. Needed because Wine's file name lookup does not follow
// the links DefineDosDevice makes.
struct wine_unix_drive {
  ULONG size;
  ULONG type;
  ULONG fs_type;
  DWORD serial;
  ULONGLONG unix_dev;
  WCHAR letter;
  USHORT mount_point_offset;
  USHORT device_offset;
  USHORT label_offset;
};
constexpr DWORD wine_define_unix_drive =
    CTL_CODE(static_cast<ULONG>('m'), 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

// Binds letter to unix_dir (nullptr: unbinds it) through Wine's mount manager.
bool wine_define_drive(char letter, const char* unix_dir) {
  sys::win32::unique_file manager(
      ::CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!manager)
    return false;
  const std::size_t extra = unix_dir ? std::strlen(unix_dir) + 1 : 0;
  std::vector<char> request(sizeof(wine_unix_drive) + extra, 0);
  wine_unix_drive header{};
  header.size = static_cast<ULONG>(request.size());
  header.type = unix_dir ? DRIVE_FIXED : DRIVE_NO_ROOT_DIR;
  header.letter = static_cast<WCHAR>(letter - 'A' + 'a');
  if (unix_dir) {
    header.mount_point_offset = sizeof(wine_unix_drive);
    std::memcpy(request.data() + sizeof(wine_unix_drive), unix_dir, extra);
  }
  std::memcpy(request.data(), &header, sizeof header);
  DWORD returned = 0;
  return ::DeviceIoControl(manager.get(), wine_define_unix_drive, request.data(),
                           static_cast<DWORD>(request.size()), nullptr, 0, &returned, nullptr);
}

// The Unix name of a Windows path when running under Wine, else "".
std::string wine_unix_name(const std::filesystem::path& dir) {
  using unix_name_fn = char*(CDECL*)(const WCHAR*);
  HMODULE kernel = ::GetModuleHandleA("kernel32");
  auto fn = kernel ? reinterpret_cast<unix_name_fn>(reinterpret_cast<void*>(
                         ::GetProcAddress(kernel, "wine_get_unix_file_name")))
                   : nullptr;
  if (!fn)
    return {};
  char* name = fn(dir.wstring().c_str());
  if (!name)
    return {};
  std::string result(name);
  ::HeapFree(::GetProcessHeap(), 0, name);
  return result;
}

bool drive_usable(char letter) {
  const char root[] = {letter, ':', '\\', '\0'};
  const UINT type = ::GetDriveTypeA(root);
  return type != DRIVE_UNKNOWN && type != DRIVE_NO_ROOT_DIR &&
         ::GetFileAttributesA(root) != INVALID_FILE_ATTRIBUTES;
}

// One spare letter bound to a directory for the life of the object: with
// DefineDosDevice (as SUBST does) on Windows, with the mount manager under Wine.
class bound_letter {
public:
  explicit bound_letter(const std::filesystem::path& dir) {
    const DWORD taken = ::GetLogicalDrives();
    const std::string unix_dir = wine_unix_name(dir); // "" on Windows itself
    for (char l = 'M'; l <= 'Y' && !letter_; ++l) {
      if (taken & (1u << (l - 'A')))
        continue;
      const char device[] = {l, ':', '\0'};
      if (::DefineDosDeviceA(0, device, dir.string().c_str())) {
        if (drive_usable(l)) {
          letter_ = l;
          break;
        }
        ::DefineDosDeviceA(DDD_REMOVE_DEFINITION, device, nullptr);
      }
      if (!unix_dir.empty() && wine_define_drive(l, unix_dir.c_str())) {
        if (drive_usable(l)) {
          letter_ = l;
          by_wine_ = true;
          break;
        }
        wine_define_drive(l, nullptr);
      }
    }
    if (!letter_)
      throw std::runtime_error("no spare drive letter could be bound to " + dir.string());
  }
  ~bound_letter() {
    if (by_wine_) {
      wine_define_drive(letter_, nullptr);
    } else {
      const char device[] = {letter_, ':', '\0'};
      ::DefineDosDeviceA(DDD_REMOVE_DEFINITION, device, nullptr);
    }
  }
  bound_letter(const bound_letter&) = delete;
  bound_letter& operator=(const bound_letter&) = delete;

  char letter() const { return letter_; }

private:
  char letter_ = 0;
  bool by_wine_ = false;
};

char upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Shows the spare letters as C: and D:. Paths going down have their drive
// letter swapped to the spare one; paths coming up have it swapped back, and a
// path on the machine's real C: or D: is not on any test drive.
class letter_platform final : public sys::forwarding_platform {
public:
  letter_platform(sys::platform& base, char c, char d) : forwarding_platform(base), c_(c), d_(d) {}

  sys::native_handle create_file(const char* path, std::uint32_t access, std::uint32_t share,
                                 sys::disposition how, std::uint32_t attributes) override {
    return base().create_file(down(path).c_str(), access, share, how, attributes);
  }
  sys::native_handle create_file_below(const char* base_dir, const char* relative,
                                       std::uint32_t access, std::uint32_t share,
                                       sys::disposition how, std::uint32_t attributes) override {
    return base().create_file_below(down(base_dir).c_str(), relative, access, share, how,
                                    attributes);
  }
  bool create_directory(const char* path) override {
    return base().create_directory(down(path).c_str());
  }
  bool create_directory_below(const char* base_dir, const char* relative) override {
    return base().create_directory_below(down(base_dir).c_str(), relative);
  }
  bool remove_directory(const char* path) override {
    return base().remove_directory(down(path).c_str());
  }
  bool remove_tree_below(const char* base_dir, const char* relative) override {
    return base().remove_tree_below(down(base_dir).c_str(), relative);
  }
  sys::native_handle find_first_file(const char* pattern, sys::find_data* out) override {
    return base().find_first_file(down(pattern).c_str(), out);
  }
  sys::drive_type get_drive_type(const char* root) override {
    return base().get_drive_type(down(root).c_str());
  }
  bool get_disk_free_space(const char* root, std::uint32_t* sectors_per_cluster,
                           std::uint32_t* bytes_per_sector, std::uint32_t* free_clusters,
                           std::uint32_t* total_clusters) override {
    return base().get_disk_free_space(down(root).c_str(), sectors_per_cluster, bytes_per_sector,
                                      free_clusters, total_clusters);
  }
  std::uint32_t win_exec(const char* command_line, std::uint32_t show) override {
    return base().win_exec(down(command_line).c_str(), show);
  }
  std::FILE* open_read_stream(const char* path) override {
    return base().open_read_stream(down(path).c_str());
  }
  std::FILE* open_write_stream(const char* path) override {
    return base().open_write_stream(down(path).c_str());
  }
  bool drive_to_host_path(const char* drive_path, char* out, std::uint32_t size) override {
    return base().drive_to_host_path(down(drive_path).c_str(), out, size);
  }
  bool host_to_drive_path(const char* host_path, char* out, std::uint32_t size) override {
    return base().host_to_drive_path(host_path, out, size) && up(out);
  }
  std::uint32_t module_file_name(char* out, std::uint32_t size) override {
    const std::uint32_t n = base().module_file_name(out, size);
    return n != 0 && up(out) ? n : 0;
  }

private:
  // The drive letter of text (after an opening quote, as in a command line).
  static std::size_t letter_at(const char* text) {
    const std::size_t at = text[0] == '"' ? 1 : 0;
    return text[at] != '\0' && text[at + 1] == ':' ? at : std::string::npos;
  }
  std::string down(const char* text) const {
    std::string s(text);
    const std::size_t at = letter_at(text);
    if (at != std::string::npos) {
      if (upper(s[at]) == 'C')
        s[at] = c_;
      else if (upper(s[at]) == 'D')
        s[at] = d_;
    }
    return s;
  }
  bool up(char* text) const {
    const std::size_t at = letter_at(text);
    if (at == std::string::npos)
      return true;
    const char l = upper(text[at]);
    if (l == 'C' || l == 'D')
      return false;
    if (l == c_)
      text[at] = 'C';
    else if (l == d_)
      text[at] = 'D';
    return true;
  }

  char c_;
  char d_;
};

class letter_drive_map final : public drive_map {
public:
  letter_drive_map(const std::filesystem::path& c, const std::filesystem::path& d)
      : c_(bind(c)), d_(bind(d)), platform_(sys::current_platform(), c_->letter(), d_->letter()),
        previous_(sys::set_platform(&platform_)) {}
  ~letter_drive_map() override { sys::set_platform(previous_); }

private:
  static std::unique_ptr<bound_letter> bind(const std::filesystem::path& dir) {
    letter_choice_lock lock;
    return std::make_unique<bound_letter>(dir);
  }

  std::unique_ptr<bound_letter> c_;
  std::unique_ptr<bound_letter> d_;
  letter_platform platform_;
  sys::platform* previous_;
};

} // namespace

std::unique_ptr<drive_map> map_test_drives(const std::filesystem::path& c,
                                           const std::filesystem::path& d) {
  return std::make_unique<letter_drive_map>(c, d);
}

} // namespace velmora_test
