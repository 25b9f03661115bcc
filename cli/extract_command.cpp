// velmora-pack extract: unpacks an installer or a payload archive, all or
// nothing. The engine writes into a temporary directory; only a complete
// extraction is put in place.
#include "archive/format.h"
#include "archive/run_archive_command.h"
#include "archive/stored_name.h"
#include "archive/trailer.h"
#include "cli/commands.h"
#include "cli/host.h"
#include "cli/options.h"
#include "cli/progress_bar.h"
#include "sys/cp1252.h"
#include "sys/file_layer.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace cli {

namespace {

constexpr const char* help =
    "Usage: velmora-pack extract [--quiet] INSTALLER DIR\n"
    "\n"
    "Unpacks the payload archive of INSTALLER (an installer or a bare payload\n"
    "archive) into DIR, all or nothing: on failure nothing it wrote is left, and\n"
    "the message names the stored file concerned.\n"
    "\n"
    "A new DIR is unpacked beside it (.DIR.velmora-partial-XXXXXX) and renamed\n"
    "into place. Into an existing DIR the archive is checked whole first, then\n"
    "unpacked inside it (.velmora-partial-XXXXXX) and moved into place: files of\n"
    "the same name (regardless of case) are replaced, directories merged into,\n"
    "nothing else touched; a file/directory mismatch or a symbolic link there is\n"
    "refused before anything moves; a move that fails undoes those before it.\n"
    "The temporary directory adds 24 characters to every path. Stored names that\n"
    "would leave DIR are refused.\n"
    "\n"
    "  --quiet  no progress bar\n";

constexpr const char* partial_tag = ".velmora-partial-";

// A UTF-8 name of a path's last component.
std::string utf8_name(const fs::path& path) {
  return host_path_text(path.filename());
}

std::string shown(const fs::path& path) {
  return host_path_text(path);
}

// Makes a new directory of the name prefix + six random hex digits in
// parent. Empty path, with *ec, when it cannot.
fs::path make_temporary_directory(const fs::path& parent, const std::string& prefix,
                                  std::error_code* ec) {
  std::mt19937 random(static_cast<std::uint32_t>(
      std::chrono::steady_clock::now().time_since_epoch().count() ^ std::random_device{}()));
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[8];
    std::snprintf(suffix, sizeof suffix, "%06x", static_cast<unsigned>(random() & 0xFFFFFF));
    const fs::path candidate = parent / host_fs_path(prefix + suffix);
    if (fs::create_directory(candidate, *ec))
      return candidate;
    if (*ec)
      return {};
  }
  *ec = std::make_error_code(std::errc::file_exists);
  return {};
}

// Removes a directory this command made, with everything in it, following no
// link inside it. False when anything is left.
bool remove_made_tree(const fs::path& dir) {
  std::string base, error;
  if (!drive_path(shown(dir.parent_path() / ""), &base, &error))
    return false;
  std::array<char, 1024> name{};
  if (!sys::current_platform().host_text_to_system(utf8_name(dir).c_str(), name.data(),
                                                   name.size()))
    return false;
  return sys::current_platform().remove_tree_below(base.c_str(), name.data());
}

// The decoded bytes of the archive's files, read cheaply from its
// end-of-archive record (the archive total, which counts the stub as well;
// the stub's size comes later, from the engine's found call): 0 when unknown.
std::uint32_t archive_total(const std::string& source) {
  sys::scoped_file file(sys::file_open_unfolded(source.c_str(), sys::open_mode::read_shared));
  if (!file.ok())
    return 0;
  archive::archive_trailer trailer;
  archive::read_archive_trailer(file.get(), trailer);
  return trailer.total;
}

// The progress bar of an extraction: the engine's decoded total against the
// decoded bytes of all files.
struct extraction_progress {
  progress_bar* bar = nullptr;
  std::uint32_t archive_total = 0; // when the files' bytes come from it

  static void found(std::uint32_t archive_offset, void* context) {
    auto& p = *static_cast<extraction_progress*>(context);
    // The offset counts up to 7 bytes of padding that the total leaves out:
    // the bar's total can only come out a little low, and it reaches 100 %.
    if (p.archive_total != 0)
      p.bar->set_total(p.archive_total > archive_offset ? p.archive_total - archive_offset : 0);
  }
  static void call(std::uint32_t consumed, std::uint32_t produced, void* context) {
    progress_bar::on_produced(consumed, produced, static_cast<extraction_progress*>(context)->bar);
  }
};

// Runs "PJ" into target (drive form, ending in a backslash) with the progress
// bar; files_bytes is the decoded bytes of all files, 0 to read them from
// the archive's end record.
engine_outcome run_extraction(const std::string& source, const std::string& target,
                              std::uint64_t files_bytes, bool quiet) {
  const bool drawing = progress_bar::will_draw(!quiet);
  progress_bar bar("extracting", files_bytes, drawing);
  extraction_progress progress{&bar, 0};
  if (drawing && files_bytes == 0)
    progress.archive_total = archive_total(source);
  engine_outcome outcome = run_recorded(
      source, target, "PJ",
      {extraction_progress::call, &progress, drawing ? extraction_progress::found : nullptr});
  if (outcome.code == archive::status::success)
    bar.update(bar.total());
  return outcome;
}

// A drive-form directory (trailing backslash allowed) as the host shows it
// in the engine's messages.
std::string host_directory(std::string drive) {
  // A drive's root keeps its backslash: "C:" alone names the drive's
  // current directory on Windows.
  if (drive.size() > 3 && drive.back() == '\\')
    drive.pop_back();
  std::array<char, 1024> host{};
  if (!sys::current_platform().drive_to_host_path(drive.c_str(), host.data(), host.size()))
    return host_text(drive.c_str());
  return host.data();
}

// Replaces every from in text by to.
void replace_all(std::string* text, const std::string& from, const std::string& to) {
  for (std::size_t at = text->find(from); at != std::string::npos;
       at = text->find(from, at + to.size()))
    text->replace(at, from.size(), to);
}

// The engine's failure in words, with the paths in the temporary directory
// (drive form temporary, ending in a backslash) shown as the paths they were
// to have in dir (the host's form, and dir_drive in drive form, as a path
// too long to resolve is shown).
std::string extraction_failure(const engine_outcome& outcome, const std::string& temporary,
                               const std::string& dir, const std::string& dir_drive,
                               std::size_t extra) {
  std::string text = failure_text(outcome);
  replace_all(&text, host_directory(temporary), dir);
  replace_all(&text, host_text(temporary.c_str()), host_text(dir_drive.c_str()));
  if (outcome.report.reason == archive::failure_reason::path_too_long)
    text += "; the temporary directory adds " + std::to_string(extra) + " characters to that";
  return text;
}

// The drive form of a directory path with its trailing backslash.
bool directory_drive_path(const fs::path& dir, std::string* out, std::string* error) {
  return drive_path(shown(dir / ""), out, error);
}

// Refuses a target directory whose drive form exceeds the engine's limit.
std::string target_too_long(const fs::path& dir, const std::string& drive, std::size_t extra) {
  if (drive.size() + extra <= static_cast<std::size_t>(archive::max_target_chars))
    return "";
  return shown(dir) + ": in drive form (" + host_text(drive.c_str()) + ") it has " +
         std::to_string(drive.size()) + " characters" +
         (extra != 0 ? " and the temporary directory adds " + std::to_string(extra) : "") +
         "; a target directory may have at most " + std::to_string(archive::max_target_chars);
}

int failed(const std::string& installer, const std::string& why) {
  return work_error("extraction of " + installer + " failed: " + why);
}

// DIR does not exist: unpacked beside it, renamed into place.
int extract_into_new(const std::string& source, const std::string& installer, const fs::path& dir,
                     bool quiet) {
  // Appended piece by piece: GCC 12 at -O3 warns (-Wrestrict) wrongly about
  // "." + std::string.
  const std::string name = utf8_name(dir);
  std::string prefix = ".";
  prefix += name;
  prefix += partial_tag;
  const std::size_t extra = prefix.size() + 6 - name.size();
  std::string dir_drive, error;
  if (!directory_drive_path(dir, &dir_drive, &error))
    return failed(installer, error);
  if (const std::string why = target_too_long(dir, dir_drive, extra); !why.empty())
    return failed(installer, why);
  // The directories above DIR that are missing are made, nearest the root
  // first; those made are removed again when the extraction fails.
  std::vector<fs::path> missing;
  std::error_code ec;
  fs::path parent = dir.parent_path();
  if (parent.empty())
    parent = ".";
  for (fs::path p = parent; !p.empty(); p = p.parent_path()) {
    const fs::file_status status = fs::status(p, ec);
    if (fs::exists(status)) {
      if (!fs::is_directory(status))
        return failed(installer, shown(p) + ": not a directory");
      break;
    }
    missing.insert(missing.begin(), p);
    if (p == p.parent_path())
      break;
  }
  for (const fs::path& p : missing)
    if (!fs::create_directory(p, ec) && ec) {
      const std::string why = error_code_words(ec);
      if (p != missing.front())
        remove_made_tree(missing.front());
      return failed(installer, shown(p) + ": cannot create it (" + why + ")");
    }
  const auto undo_parents = [&] {
    if (!missing.empty())
      remove_made_tree(missing.front());
  };

  const fs::path temporary = make_temporary_directory(parent, prefix, &ec);
  if (temporary.empty()) {
    undo_parents();
    return failed(installer, shown(parent) + ": cannot create the temporary directory " + prefix +
                                 "XXXXXX in it (" + error_code_words(ec) + ")");
  }
  std::string target;
  if (!directory_drive_path(temporary, &target, &error)) {
    remove_made_tree(temporary);
    undo_parents();
    return failed(installer, error);
  }
  const engine_outcome outcome = run_extraction(source, target, 0, quiet);
  if (outcome.code != archive::status::success) {
    const bool removed = remove_made_tree(temporary);
    undo_parents();
    const std::string parent_shown =
        host_directory(target.substr(0, target.rfind('\\', target.size() - 2) + 1));
    return failed(installer, extraction_failure(outcome, target,
                                                shown(host_fs_path(parent_shown) / dir.filename()),
                                                dir_drive, extra) +
                                 (removed ? "" : "; could not remove " + shown(temporary)));
  }
  fs::rename(temporary, dir, ec);
  if (ec) {
    const std::string why = error_code_words(ec);
    const bool removed = remove_made_tree(temporary);
    undo_parents();
    return failed(installer, shown(dir) + ": cannot put it in place (" + why + ")" +
                                 (removed ? "" : "; could not remove " + shown(temporary)));
  }
  return 0;
}

// One move of the unpacked tree into DIR; replaces when an entry of DIR
// (a file) stands at to and is moved aside first.
struct move {
  fs::path from, to;
  bool replaces = false;
};

// A name in Windows-1252 capitals, as the engine matches names; the host's
// text where Windows-1252 cannot hold it.
std::string capitals(const fs::path& name) {
  std::array<char, 1024> text{};
  if (!sys::current_platform().host_text_to_system(utf8_name(name).c_str(), text.data(),
                                                   text.size()))
    return utf8_name(name);
  std::string out(text.data());
  for (char& c : out)
    c = static_cast<char>(sys::cp1252_upper(static_cast<unsigned char>(c)));
  return out;
}

// The entries of a directory: their names as listed, and by capitals the
// first of them in byte order.
struct listed_names {
  bool listed = false;
  std::set<fs::path> exact;
  std::map<std::string, fs::path> by_capitals;
};

// The path of the existing entry that place names regardless of case, under
// the name it has on disk: Windows matches a path regardless of case but a
// file moved to it takes the case asked for, and a file replaced keeps its
// name.
fs::path on_disk(const fs::path& place, listed_names* names) {
  if (!names->listed) {
    names->listed = true;
    std::error_code ec;
    std::vector<fs::path> entries;
    for (auto it = fs::directory_iterator(place.parent_path(), ec);
         !ec && it != fs::directory_iterator(); it.increment(ec))
      entries.push_back(it->path());
    std::sort(entries.begin(), entries.end());
    for (const fs::path& entry : entries) {
      names->exact.insert(entry.filename());
      names->by_capitals.emplace(capitals(entry.filename()), entry);
    }
  }
  if (names->exact.count(place.filename()) != 0)
    return place;
  const auto found = names->by_capitals.find(capitals(place.filename()));
  return found != names->by_capitals.end() ? found->second : place;
}

// Plans the moves of the entries of the unpacked directory from into the
// existing directory to (drive form to_drive, ending in a backslash): an
// entry takes the place of the entry whose name matches regardless of case,
// as the engine would have written it. Returns "" or why an entry cannot
// take its place; plans nothing then.
std::string plan_moves(const fs::path& from, const fs::path& to, const std::string& to_drive,
                       std::vector<move>* moves) {
  // The entries in the order of their names: the moves, and which of them a
  // failure stops at, are the same on every run.
  std::error_code ec;
  std::vector<fs::directory_entry> entries;
  for (auto it = fs::directory_iterator(from, ec); !ec && it != fs::directory_iterator();
       it.increment(ec))
    entries.push_back(*it);
  if (ec)
    return shown(from) + ": cannot list it (" + error_code_words(ec) + ")";
  std::sort(entries.begin(), entries.end());
  listed_names names_there;
  for (const fs::directory_entry& entry : entries) {
    std::array<char, 1024> name{}, host{};
    sys::platform& platform = sys::current_platform();
    const std::string drive_name =
        platform.host_text_to_system(utf8_name(entry.path()).c_str(), name.data(), name.size())
            ? to_drive + name.data()
            : std::string();
    const fs::path place = !drive_name.empty() && platform.drive_to_host_path(
                                                      drive_name.c_str(), host.data(), host.size())
                               ? host_fs_path(host.data())
                               : to / entry.path().filename();
    const fs::file_status there = fs::symlink_status(place, ec);
    ec.clear();
    const bool is_dir = entry.is_directory(ec);
    if (fs::is_symlink(there))
      return shown(place) + " (is a symbolic link, not followed)";
    if (!fs::exists(there)) {
      moves->push_back({entry.path(), place});
    } else if (is_dir) {
      if (!fs::is_directory(there))
        return shown(place) + ": not a directory, and the archive holds a directory of that name";
      if (const std::string why = plan_moves(entry.path(), place, drive_name + "\\", moves);
          !why.empty())
        return why;
    } else if (fs::is_directory(there)) {
      return shown(place) + ": is a directory, and the archive holds a file of that name";
    } else if (!fs::is_regular_file(there)) {
      return shown(place) + ": not a regular file";
    } else {
      moves->push_back({entry.path(), on_disk(place, &names_there), true});
    }
  }
  return "";
}

// Carries out the moves into the existing directory dir, all or nothing: a
// file that an entry replaces is first moved aside into a temporary
// directory of its own in dir, and when any rename fails, every move made is
// undone in reverse order and the files moved aside are put back, so dir is
// as it was. Returns "" on success (the files moved aside are removed then),
// else why, naming the entry; when the undoing fails too, what is left where.
std::string put_in_place(const std::vector<move>& moves, const fs::path& dir) {
  std::error_code ec;
  fs::path aside;
  const auto aside_name = [&](std::size_t i) { return aside / std::to_string(i); };
  std::size_t done = 0;
  std::size_t left = 0; // entries of dir that could not be put back
  std::string why;
  for (; done < moves.size(); ++done) {
    const move& m = moves[done];
    if (m.replaces) {
      if (aside.empty())
        aside = make_temporary_directory(dir, partial_tag, &ec);
      if (aside.empty()) {
        why = shown(dir) + ": cannot create the temporary directory " + partial_tag +
              "XXXXXX in it for the files replaced (" + error_code_words(ec) + ")";
        break;
      }
      fs::rename(m.to, aside_name(done), ec);
      if (ec) {
        why = shown(m.to) + ": cannot replace it (" + error_code_words(ec) + ")";
        break;
      }
    }
    fs::rename(m.from, m.to, ec);
    if (ec) {
      why = shown(m.to) + ": cannot put it in place (" + error_code_words(ec) + ")";
      if (m.replaces) {
        fs::rename(aside_name(done), m.to, ec);
        left += ec ? 1 : 0;
      }
      break;
    }
  }
  if (done == moves.size()) {
    if (!aside.empty() && !remove_made_tree(aside))
      return shown(aside) + ": cannot remove the files replaced, after the extraction";
    return "";
  }
  // Undoes the moves made, the last first.
  for (std::size_t i = done; i-- > 0;) {
    const move& m = moves[i];
    fs::rename(m.to, m.from, ec);
    if (!ec && m.replaces)
      fs::rename(aside_name(i), m.to, ec);
    if (ec)
      ++left;
  }
  if (left != 0)
    return why + "; " + std::to_string(left) + " of the entries moved or replaced before it " +
           "could not be put back" +
           (aside.empty() ? "" : " (the files replaced are in " + shown(aside) + ")");
  if (!aside.empty())
    remove_made_tree(aside);
  return why + "; nothing was changed in " + shown(dir);
}

// DIR exists: the archive is checked whole, unpacked inside DIR, then moved
// into place.
int extract_into_existing(const std::string& source, const std::string& installer,
                          const fs::path& dir, bool quiet) {
  std::string dir_drive, error;
  if (!directory_drive_path(dir, &dir_drive, &error))
    return failed(installer, error);
  const archive_check check = check_archive(source, false);
  if (!check.fatal.empty())
    return failed(installer, check.fatal + " (nothing was written)");
  // The tag, six hex digits and a backslash.
  const std::size_t extra = std::string(partial_tag).size() + 7;
  if (const std::string why = target_too_long(dir, dir_drive, extra); !why.empty())
    return failed(installer, why);
  const std::size_t longest = dir_drive.size() + check.longest_rest;
  if (longest > archive::output_path_bytes - 1)
    return failed(installer, check.longest_name + ": in " + shown(dir) + " its path would have " +
                                 std::to_string(longest) +
                                 " characters in drive form; a path may have at most " +
                                 std::to_string(archive::output_path_bytes - 1));
  if (longest + extra > archive::output_path_bytes - 1)
    return failed(installer, check.longest_name + ": in " + shown(dir) + " its path would have " +
                                 std::to_string(longest) +
                                 " characters in drive form, and the temporary directory adds " +
                                 std::to_string(extra) + " to the 255 a path may have");

  std::error_code ec;
  const fs::path temporary = make_temporary_directory(dir, partial_tag, &ec);
  if (temporary.empty())
    return failed(installer, shown(dir) + ": cannot create the temporary directory " + partial_tag +
                                 "XXXXXX in it (" + error_code_words(ec) + ")");
  std::string target;
  if (!directory_drive_path(temporary, &target, &error)) {
    remove_made_tree(temporary);
    return failed(installer, error);
  }
  // Removes the temporary directory after a failure: what to add to the
  // message when that too fails.
  const auto cleanup = [&] {
    return remove_made_tree(temporary) ? std::string() : "; could not remove " + shown(temporary);
  };
  const engine_outcome outcome = run_extraction(source, target, check.summary.total_size, quiet);
  if (outcome.code != archive::status::success)
    return failed(installer,
                  extraction_failure(outcome, target, host_directory(dir_drive), dir_drive, extra) +
                      cleanup());
  std::vector<move> moves;
  if (const std::string why = plan_moves(temporary, dir, dir_drive, &moves); !why.empty())
    return failed(installer, why + " (nothing was moved into " + shown(dir) + ")" + cleanup());
  const std::string failure = put_in_place(moves, dir);
  if (!failure.empty())
    return failed(installer, failure + cleanup());
  if (!remove_made_tree(temporary))
    return failed(installer, shown(temporary) + ": cannot remove it after the extraction");
  return 0;
}

} // namespace

int run_extract_command(const arguments& args) {
  parsed_options opts;
  if (const int code = parse_command("extract", help, args, extract_options, &opts); code >= 0)
    return code;
  if (opts.positional.size() != 2)
    return usage_error("extract", "needs INSTALLER and DIR");
  const fs::path installer = host_fs_path(opts.positional[0]);
  if (const std::string why = not_a_file(installer); !why.empty())
    return work_error(shown(installer) + ": " + why);
  std::string source, error;
  if (!drive_path(shown(installer), &source, &error))
    return work_error(error);

  fs::path dir = host_fs_path(opts.positional[1]).lexically_normal();
  if (!dir.has_filename())
    dir = dir.parent_path();
  std::error_code ec;
  const fs::file_status status = fs::status(dir, ec);
  const bool quiet = opts.has("--quiet");
  // A link that leads nowhere is no directory to extract into, and the
  // rename into place would fail on it only after the whole extraction.
  if (!fs::exists(status) && fs::is_symlink(fs::symlink_status(dir, ec)))
    return failed(shown(installer),
                  shown(dir) + ": a symbolic link that leads nowhere, not a directory");
  if (!fs::exists(status))
    return extract_into_new(source, shown(installer), dir, quiet);
  if (!fs::is_directory(status))
    return failed(shown(installer), shown(dir) + ": not a directory");
  return extract_into_existing(source, shown(installer), dir, quiet);
}

} // namespace cli
