// Command-line parsing for velmora-pack's commands: options with and without
// values, positional arguments, and GNU-style "--" and "--opt=value".
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace cli {

struct option_spec {
  std::set<std::string> flags;      // e.g. "--quiet"
  std::set<std::string> with_value; // e.g. "-o", "--stub"
};

struct parsed_options {
  std::map<std::string, std::string> values;
  std::set<std::string> flags;
  std::vector<std::string> positional;
  std::string error; // non-empty when the arguments are not understood

  bool has(const std::string& flag) const { return flags.count(flag) != 0; }
  const std::string* value(const std::string& name) const {
    auto it = values.find(name);
    return it == values.end() ? nullptr : &it->second;
  }
};

parsed_options parse_options(const std::vector<std::string>& args, const option_spec& spec);

} // namespace cli
