// Command-line parsing for velmora-pack's commands: options and positional
// arguments in any order, "--" ending the options, "--opt=value", "-oVALUE",
// and the options every command takes.
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

// Every command takes these flags besides its own: "--help" (also
// "-h"), "--quiet" (also "-q") and "--version". Parsed options always carry
// the long names.
inline const std::set<std::string> common_flags = {"--help", "--quiet", "--version"};

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

// The first of "--help" and "--version" among the options of args ("" when
// neither is there), for a command whose options taking a value are
// with_value: option values and the words after "--" are not options. Other
// options, unknown ones included, are passed over.
std::string help_or_version(const std::vector<std::string>& args,
                            const std::set<std::string>& with_value);

} // namespace cli
