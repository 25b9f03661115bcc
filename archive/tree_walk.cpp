// The breadth-first directory traversal and the slot table it works through.
#include "archive/tree_walk.h"

#include "sys/platform.h"
#include "sys/scan.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <set>
#include <string>
#include <string_view>

namespace archive {

bool slot_table::append(const char* spec, int length) {
  if (length < 0 || length > max_spec_bytes || count() >= max_slots)
    return false;
  slot s;
  std::memset(s.text.data(), sys::extended_prefix_byte, listing_prefix_bytes);
  std::memcpy(s.text.data() + listing_prefix_bytes, spec, static_cast<std::size_t>(length));
  s.text[static_cast<std::size_t>(listing_prefix_bytes + length)] = '\0';
  s.length = listing_prefix_bytes + length;
  slots_.push_back(s);
  return true;
}

int directory_prefix_length(const char* spec, int length) {
  for (int i = length - 1; i >= 0; --i)
    if (spec[i] == '\\')
      return i + 1;
  return 0;
}

namespace {

// One slot's listing: its entries' paths, formed in one buffer.
struct directory_listing {
  engine_call& call;
  int failure_status;
  const char* content; // the slot's content: listing prefix and spec
  const char* spec;
  int spec_length;
  int prefix_length;
  std::array<char, max_file_path_chars + 1> path{};
  // The names met in this directory, as they were listed, ordered as
  // Windows compares them: upper case (as listed), trailing dots and blanks
  // dropped.
  struct same_to_windows {
    using is_transparent = void;
    static std::string_view compared(std::string_view name) {
      while (!name.empty() && (name.back() == '.' || name.back() == ' '))
        name.remove_suffix(1);
      return name;
    }
    bool operator()(std::string_view a, std::string_view b) const {
      return compared(a) < compared(b);
    }
  };
  std::set<std::string, same_to_windows> names{};
  std::array<char, max_file_path_chars + 1> met_path{};

  // The path of an entry met before under the same name as Windows sees it,
  // or nullptr; notes this one.
  const char* same_name_met(const char* name, int name_length) {
    const auto [at, added] = names.emplace(name, static_cast<std::size_t>(name_length));
    if (added)
      return nullptr;
    // The same directory prefix as this entry's path, which fitted.
    const std::string& met = *at;
    const std::size_t room = met_path.size() - 1 - static_cast<std::size_t>(prefix_length);
    const std::size_t length = std::min(met.size(), room);
    std::memcpy(met_path.data(), spec, static_cast<std::size_t>(prefix_length));
    std::memcpy(met_path.data() + prefix_length, met.data(), length);
    met_path[static_cast<std::size_t>(prefix_length) + length] = '\0';
    return met_path.data();
  }

  // Forms prefix + name in path. False (report filled) when it is too long.
  bool form_path(const char* name, int name_length) {
    if (prefix_length + name_length > max_file_path_chars) {
      std::memcpy(path.data(), spec, static_cast<std::size_t>(prefix_length));
      const int room = max_file_path_chars - prefix_length;
      std::memcpy(path.data() + prefix_length, name, static_cast<std::size_t>(room));
      path[max_file_path_chars] = '\0';
      return false;
    }
    std::memcpy(path.data(), spec, static_cast<std::size_t>(prefix_length));
    std::memcpy(path.data() + prefix_length, name, static_cast<std::size_t>(name_length) + 1);
    return true;
  }

  // The listed directory's own path, for reports: the listing pattern
  // without its last component.
  const char* directory() {
    const int n = prefix_length > 1 ? prefix_length - 1 : prefix_length;
    std::memcpy(path.data(), spec, static_cast<std::size_t>(n));
    path[static_cast<std::size_t>(n)] = '\0';
    return path.data();
  }

  // Queues a subdirectory: the slot's spec with its last three characters
  // (the "*.*") replaced by the directory's name, then "\*.*".
  int queue(const char* name, int name_length) {
    std::array<char, slot_table::max_spec_bytes + 1> sub_spec;
    const int keep = spec_length >= 3 ? spec_length - 3 : 0;
    const int length = keep + name_length + 4;
    if (length > slot_table::max_spec_bytes)
      return call.fail(failure_status, failure_reason::path_too_long, path.data());
    std::memcpy(sub_spec.data(), spec, static_cast<std::size_t>(keep));
    std::memcpy(sub_spec.data() + keep, name, static_cast<std::size_t>(name_length));
    std::memcpy(sub_spec.data() + keep + name_length, "\\*.*", 4);
    if (!call.slots.append(sub_spec.data(), length))
      return call.fail(failure_status, failure_reason::too_many_directories, path.data());
    return status::success;
  }

  int run(file_visitor visit, void* context) {
    for (const std::uint8_t* rec = sys::scan_first_unfolded(content); !sys::find_record_is_end(rec);
         rec = sys::scan_next(content)) {
      const char* name = sys::find_record_name(rec);
      const int name_length = static_cast<int>(std::strlen(name));
      const bool is_directory = sys::find_record_is_directory(rec);
      if (is_directory && (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0))
        continue;
      if (is_directory && (!call.recursive || name[0] == '.'))
        continue; // not entered: nothing of it is stored
      if (!form_path(name, name_length))
        return call.fail(failure_status, failure_reason::path_too_long, path.data());
      // A name no file can be unpacked under.
      if (!sys::is_plain_name(name, static_cast<std::size_t>(name_length)) ||
          std::strpbrk(name, sys::windows_forbidden_chars) != nullptr)
        return call.fail(failure_status, failure_reason::unsafe_name, path.data());
      if (const char* met = same_name_met(name, name_length))
        return call.fail(failure_status, failure_reason::duplicate_name, path.data(), 0, met);
      if (const std::uint32_t unusable = sys::scan_entry_error(); unusable != 0)
        return call.fail(failure_status, failure_reason::platform, path.data(), unusable);
      if (is_directory) {
        if (const int code = queue(name, name_length); code != status::success)
          return code;
        continue;
      }
      if (const int code = visit(path.data(), sys::find_record_size(rec), context);
          code != status::success)
        return code;
    }
    if (const std::uint32_t failed = sys::scan_failure(); failed != 0)
      return call.fail(failure_status, failure_reason::platform, directory(), failed);
    return status::success;
  }
};

} // namespace

int walk_tree(engine_call& call, file_visitor visit, void* context, int failure_status) {
  // A copy of each slot: appending slots may move the table.
  std::array<char, slot_table::slot_bytes> content;
  for (int current = 0; current < call.slots.count(); ++current) {
    std::memcpy(content.data(), call.slots.content(current), slot_table::slot_bytes);
    const char* spec = content.data() + slot_table::listing_prefix_bytes;
    const int spec_length = call.slots.length(current) - slot_table::listing_prefix_bytes;
    directory_listing listing{call, failure_status, content.data(),
                              spec, spec_length,    directory_prefix_length(spec, spec_length)};
    if (const int code = listing.run(visit, context); code != status::success)
      return code;
  }
  return status::success;
}

} // namespace archive
