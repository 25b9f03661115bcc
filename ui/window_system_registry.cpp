// The table of window-system backends; the only file that knows them all.
#include "ui/window_system_registry.h"

#include <cstring>

namespace ui {

#if defined(VELMORA_UI_WIN32)
std::unique_ptr<window_system> create_win32_window_system(std::string* why);
#endif
#if defined(VELMORA_UI_FLTK)
std::unique_ptr<window_system> create_fltk_window_system(const resource_table& resources,
                                                         std::string* why);
#endif
#if defined(VELMORA_UI_OFFSCREEN)
std::unique_ptr<window_system> create_offscreen_window_system(const resource_table& resources,
                                                              std::string* why);
#endif

namespace {

// One backend: its name (as a user names it), what it is, and how to make
// it. create returns nullptr, with the reason in *why, when the backend cannot
// run here (no display, for one).
struct window_system_entry {
  const char* name;
  const char* description;
  std::unique_ptr<window_system> (*create)(const resource_table& resources, std::string* why);
  bool opt_in; // tried only when named (offscreen)
};

const window_system_entry entries[] = {
#if defined(VELMORA_UI_WIN32)
    // Windows loads the program's resources from the program file itself.
    {"win32", "the Windows desktop",
     [](const resource_table&, std::string* why) { return create_win32_window_system(why); },
     false},
#endif
#if defined(VELMORA_UI_FLTK)
    {"fltk", "a desktop window through FLTK (needs a display)", create_fltk_window_system, false},
#endif
#if defined(VELMORA_UI_OFFSCREEN)
    {"offscreen", "no window: input from VELMORA_UI_SCRIPT, drawing traced to VELMORA_UI_TRACE",
     create_offscreen_window_system, true},
#endif
};

} // namespace

std::unique_ptr<window_system>
open_window_system(const char* wanted, const resource_table& resources, std::string* why) {
  if (wanted && *wanted) {
    for (const auto& e : entries)
      if (std::strcmp(e.name, wanted) == 0) {
        std::string reason;
        auto ws = e.create(resources, &reason);
        if (!ws)
          *why = std::string("window system '") + wanted + "' cannot run: " + reason;
        return ws;
      }
    *why = std::string("no window system named '") + wanted + "' in this build";
    return nullptr;
  }
  std::string reasons;
  for (const auto& e : entries) {
    if (e.opt_in)
      continue;
    std::string reason;
    if (auto ws = e.create(resources, &reason))
      return ws;
    reasons += (reasons.empty() ? "" : "; ") + std::string(e.name) + ": " + reason;
  }
  *why = reasons.empty() ? "no window system in this build" : reasons;
  return nullptr;
}

} // namespace ui
