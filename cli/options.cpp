// Command-line parsing for velmora-pack's commands.
#include "cli/options.h"

namespace cli {

namespace {

// The long name of a short flag every command takes ("" for any other).
std::string common_long_name(const std::string& arg) {
  if (arg == "-h")
    return "--help";
  if (arg == "-q")
    return "--quiet";
  return "";
}

// One option argument split into its name and an attached value:
// "--stub=X" and "-oX" (a short option that takes a value).
struct split_option {
  std::string name;
  std::string value;
  bool has_value = false;
};

split_option split(const std::string& arg, const std::set<std::string>& with_value) {
  split_option out{arg, "", false};
  if (arg.rfind("--", 0) == 0) {
    const auto eq = arg.find('=');
    if (eq != std::string::npos)
      out = {arg.substr(0, eq), arg.substr(eq + 1), true};
  } else if (arg.size() > 2 && with_value.count(arg.substr(0, 2))) {
    out = {arg.substr(0, 2), arg.substr(2), true};
  }
  if (const std::string name = common_long_name(out.name); !name.empty())
    out.name = name;
  return out;
}

bool is_option(const std::string& arg) {
  return arg.size() >= 2 && arg[0] == '-';
}

} // namespace

parsed_options parse_options(const std::vector<std::string>& args, const option_spec& spec) {
  parsed_options out;
  bool only_positional = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (only_positional || !is_option(a)) {
      out.positional.push_back(a);
      continue;
    }
    if (a == "--") {
      only_positional = true;
      continue;
    }
    const split_option o = split(a, spec.with_value);
    if ((spec.flags.count(o.name) || common_flags.count(o.name)) && !o.has_value) {
      out.flags.insert(o.name);
    } else if (spec.with_value.count(o.name)) {
      if (o.has_value) {
        out.values[o.name] = o.value;
      } else if (i + 1 < args.size()) {
        out.values[o.name] = args[++i];
      } else {
        out.error = "option '" + o.name + "' needs a value";
        return out;
      }
    } else if (o.has_value && (spec.flags.count(o.name) || common_flags.count(o.name))) {
      out.error = "option '" + o.name + "' takes no value";
      return out;
    } else {
      out.error = "unknown option '" + a + "'";
      return out;
    }
  }
  return out;
}

std::string help_or_version(const std::vector<std::string>& args,
                            const std::set<std::string>& with_value) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--")
      return "";
    if (!is_option(a))
      continue;
    const split_option o = split(a, with_value);
    if (o.name == "--help" || o.name == "--version")
      return o.has_value ? "" : o.name;
    if (with_value.count(o.name) && !o.has_value)
      ++i; // the option's value, whatever it looks like
  }
  return "";
}

} // namespace cli
