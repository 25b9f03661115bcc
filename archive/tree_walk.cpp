// The breadth-first directory traversal over the slot table.
#include "archive/tree_walk.h"

#include "sys/scan.h"

#include <array>
#include <cstring>

namespace archive {

int directory_prefix_length(const char* spec, int length) {
  for (int i = length - 1; i >= 0; --i)
    if (spec[i] == '\\')
      return i + 1;
  return 0;
}

int walk_tree(engine_call& call, file_visitor visit, void* context, int limit_status) {
  slot_table& slots = call.slots;
  std::array<char, slot_table::slot_bytes> content;
  std::array<char, max_file_path_chars + 1> path;
  std::array<char, slot_table::max_spec_bytes + 1> sub_spec;

  for (int current = 0; current < slots.count(); ++current) {
    // A copy: appending slots may move the table.
    std::memcpy(content.data(), slots.content(current), slot_table::slot_bytes);
    const char* spec = content.data() + slot_table::listing_prefix_bytes;
    const int spec_length = slots.length(current) - slot_table::listing_prefix_bytes;
    const int prefix_length = directory_prefix_length(spec, spec_length);

    for (const std::uint8_t* rec = sys::scan_first(content.data()); !sys::find_record_is_end(rec);
         rec = sys::scan_next(content.data())) {
      const char* name = sys::find_record_name(rec);
      const int name_length = static_cast<int>(std::strlen(name));
      if (sys::find_record_is_directory(rec)) {
        if (!call.recursive || name[0] == '.')
          continue;
        // The slot's spec with its last three characters (the "*.*") replaced
        // by the directory's name, then "\*.*".
        const int keep = spec_length >= 3 ? spec_length - 3 : 0;
        const int length = keep + name_length + 4;
        if (length > slot_table::max_spec_bytes)
          return limit_status;
        std::memcpy(sub_spec.data(), spec, static_cast<std::size_t>(keep));
        std::memcpy(sub_spec.data() + keep, name, static_cast<std::size_t>(name_length));
        std::memcpy(sub_spec.data() + keep + name_length, "\\*.*", 4);
        if (!slots.append(sub_spec.data(), length))
          return limit_status;
        continue;
      }
      if (prefix_length + name_length > max_file_path_chars)
        return limit_status;
      std::memcpy(path.data(), spec, static_cast<std::size_t>(prefix_length));
      std::memcpy(path.data() + prefix_length, name, static_cast<std::size_t>(name_length) + 1);
      const int code = visit(path.data(), sys::find_record_size(rec), context);
      if (code != 0)
        return code;
    }
  }
  return 0;
}

} // namespace archive
