// Command-line parsing for velmora-pack's commands.
#include "cli/options.h"

namespace cli {

parsed_options parse_options(const std::vector<std::string>& args, const option_spec& spec) {
  parsed_options out;
  bool only_positional = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (only_positional || a.size() < 2 || a[0] != '-') {
      out.positional.push_back(a);
      continue;
    }
    if (a == "--") {
      only_positional = true;
      continue;
    }
    std::string name = a;
    std::string inline_value;
    bool has_inline = false;
    if (a.rfind("--", 0) == 0) {
      const auto eq = a.find('=');
      if (eq != std::string::npos) {
        name = a.substr(0, eq);
        inline_value = a.substr(eq + 1);
        has_inline = true;
      }
    }
    if (spec.flags.count(name) && !has_inline) {
      out.flags.insert(name);
    } else if (spec.with_value.count(name)) {
      if (has_inline) {
        out.values[name] = inline_value;
      } else if (i + 1 < args.size()) {
        out.values[name] = args[++i];
      } else {
        out.error = "option '" + name + "' needs a value";
        return out;
      }
    } else {
      out.error = "unknown option '" + a + "'";
      return out;
    }
  }
  return out;
}

} // namespace cli
