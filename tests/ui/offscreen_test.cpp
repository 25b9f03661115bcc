// The offscreen window system: its script, its trace, and scripted sessions
// through the real main window, pumps and painting.
#include "ui/window_system/offscreen/offscreen_window_system.h"

#include "tests/support/temp_drive.h"
#include "ui/colour_scheme.h"
#include "ui/main_window.h"
#include "ui/painting.h"
#include "ui/window_system_registry.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using ui::offscreen::parse_script;
using ui::offscreen::script_action;
using ui::offscreen::script_event;
using velmora_test::scoped_env;
using velmora_test::temp_drive;

std::vector<script_event> parsed(const std::string& text) {
  std::vector<script_event> events;
  std::string why;
  EXPECT_TRUE(parse_script(text, &events, &why)) << why;
  return events;
}

// The reason a script is refused ("" when it is not).
std::string refusal(const std::string& text) {
  std::vector<script_event> events;
  std::string why;
  if (parse_script(text, &events, &why))
    return "";
  EXPECT_TRUE(events.empty());
  return why;
}

script_event key(std::uint16_t vk, unsigned char typed, int line) {
  return {script_action::key, vk, typed, 0, line};
}
script_event with_value(script_action a, unsigned value, int line) {
  return {a, 0, 0, value, line};
}
script_event bare(script_action a, int line) {
  return {a, 0, 0, 0, line};
}

// --- the script ----------------------------------------------------------------

TEST(OffscreenScript, ReadsEveryKindOfEvent) {
  const auto events = parsed("key Return\n"
                             "char 2\n"
                             "click 3\n"
                             "close\n"
                             "minimize\n"
                             "restore\n"
                             "endsession\n"
                             "quit\n");
  const std::vector<script_event> expected{
      key(ui::vk::enter, 13, 1),
      with_value(script_action::character, 2, 2),
      with_value(script_action::click, 3, 3),
      bare(script_action::close, 4),
      bare(script_action::minimize, 5),
      bare(script_action::restore, 6),
      bare(script_action::end_session, 7),
      bare(script_action::quit, 8),
  };
  EXPECT_EQ(events, expected);
}

TEST(OffscreenScript, KeyNamesGiveTheirVirtualKeyAndTypedCharacter) {
  struct {
    const char* name;
    std::uint16_t vk;
    unsigned char typed;
  } const cases[] = {
      {"Return", 0x0D, 13}, {"Escape", 0x1B, 27}, {"Tab", 0x09, 9},   {"BackSpace", 0x08, 8},
      {"Left", 0x25, 0},    {"Up", 0x26, 0},      {"Right", 0x27, 0}, {"Down", 0x28, 0},
      {"Prior", 0x21, 0},   {"Next", 0x22, 0},    {"Home", 0x24, 0},  {"End", 0x23, 0},
      {"Insert", 0x2D, 0},  {"Delete", 0x2E, 0},  {"F1", 0x70, 0},    {"F9", 0x78, 0},
      {"F10", 0x79, 0},     {"F12", 0x7B, 0},     {"a", 'A', 'a'},    {"Q", 'Q', 'q'},
      {"z", 'Z', 'z'},      {"0", '0', '0'},      {"9", '9', '9'},
  };
  for (const auto& c : cases) {
    std::uint16_t vk = 0xFFFF;
    unsigned char typed = 0xFF;
    ASSERT_TRUE(ui::offscreen::script_key(c.name, &vk, &typed)) << c.name;
    EXPECT_EQ(vk, c.vk) << c.name;
    EXPECT_EQ(typed, c.typed) << c.name;
  }
  for (const char* unknown : {"F0", "F13", "F01", "f1", "return", "ESCAPE", "ab", "\xE4", "-"}) {
    std::uint16_t vk = 0;
    unsigned char typed = 0;
    EXPECT_FALSE(ui::offscreen::script_key(unknown, &vk, &typed)) << unknown;
  }
}

TEST(OffscreenScript, SkipsBlankAndCommentLinesAndTrimsBlanks) {
  const auto events = parsed("# a comment\n"
                             "\n"
                             "   \t\n"
                             "  key    Escape  \r\n"
                             "\t# key Return\n"
                             "char\t255\r\n"
                             "quit"); // no line end after the last line
  const std::vector<script_event> expected{
      key(ui::vk::escape, 27, 4),
      with_value(script_action::character, 255, 6),
      bare(script_action::quit, 7),
  };
  EXPECT_EQ(events, expected);
  EXPECT_TRUE(parsed("").empty());
  EXPECT_TRUE(parsed("\n\n# nothing\n").empty());
}

TEST(OffscreenScript, RefusesAMalformedLineNamingItsNumberAndText) {
  struct {
    const char* line;
    const char* reason;
  } const cases[] = {
      {"jump", "unknown event 'jump'"},
      {"Key Return", "unknown event 'Key'"},
      {"key", "key without a key name"},
      {"key F13", "unknown key name 'F13'"},
      {"key a b", "unknown key name 'a b'"},
      {"char", "char needs"},
      {"char 256", "char needs"},
      {"char -1", "char needs"},
      {"char 0x41", "char needs"},
      {"char 1 2", "char needs"},
      {"click", "click needs"},
      {"click 65536", "click needs"},
      {"click 99999999999999999999999", "click needs"},
      {"close now", "close takes no argument"},
      {"quit 0", "quit takes no argument"},
  };
  for (const auto& c : cases) {
    // Two skipped lines and a good one before: the number counts every line.
    const std::string why =
        refusal("# start\n\nkey Return\n  " + std::string(c.line) + "  \nquit\n");
    EXPECT_NE(why.find("line 4 \"" + std::string(c.line) + "\""), std::string::npos)
        << c.line << ": " << why;
    EXPECT_NE(why.find(c.reason), std::string::npos) << c.line << ": " << why;
  }
  // The edges of the accepted ranges.
  EXPECT_EQ(refusal("char 0\nchar 255\nclick 0\nclick 65535\n"), "");
}

// --- the trace's JSON ------------------------------------------------------------

TEST(OffscreenTrace, EscapesQuotesBackslashesAndControlCharacters) {
  using ui::offscreen::json_string;
  EXPECT_EQ(json_string("plain"), "\"plain\"");
  EXPECT_EQ(json_string("say \"hi\""), R"("say \"hi\"")");
  EXPECT_EQ(json_string("C:\\TMP\\"), R"("C:\\TMP\\")");
  EXPECT_EQ(json_string(std::string("a\nb\tc\r\x01\x1F", 8) + std::string(1, '\0')),
            R"("a\u000ab\u0009c\u000d\u0001\u001f\u0000")");
  // DEL and UTF-8 sequences are not escaped.
  EXPECT_EQ(json_string("\x7F\xC3\xA4"), "\"\x7F\xC3\xA4\"");
}

TEST(OffscreenTrace, WritesWindows1252TextsAsUtf8) {
  using namespace ui::offscreen;
  EXPECT_EQ(button_event("create", 3, "V\xE4lj skiva"),
            R"({"event":"button","op":"create","id":3,"text":"V)"
            "\xC3\xA4"
            R"(lj skiva"})");
  EXPECT_EQ(window_event("destroy", "\x80 \"x\""), R"({"event":"window","op":"destroy","title":")"
                                                   "\xE2\x82\xAC"
                                                   R"( \"x\""})");
  EXPECT_EQ(paint_event({{5, 20, "a\\b"}, {-3, 50, "\x96"}}),
            R"({"event":"paint","lines":[{"y":20,"x":5,"text":"a\\b"},{"y":50,"x":-3,"text":")"
            "\xE2\x80\x93"
            R"("}]})");
}

// --- creation --------------------------------------------------------------------

class OffscreenCreation : public ::testing::Test {
protected:
  temp_drive dir;
  std::string path(const char* name) const { return (dir.root() / name).string(); }
  std::unique_ptr<ui::window_system> create(std::string* why) {
    return ui::create_offscreen_window_system(ui::screen_resources(), why);
  }
};

TEST_F(OffscreenCreation, RunsWithNeitherScriptNorTrace) {
  scoped_env script("VELMORA_UI_SCRIPT", nullptr);
  scoped_env trace("VELMORA_UI_TRACE", nullptr);
  std::string why;
  auto ws = create(&why);
  ASSERT_NE(ws, nullptr) << why;
  EXPECT_EQ(static_cast<ui::offscreen::offscreen_window_system&>(*ws).events_left(), 0u);
}

TEST_F(OffscreenCreation, FailsOnAMissingScriptNamingIt) {
  const std::string missing = path("no-such-script.txt");
  scoped_env script("VELMORA_UI_SCRIPT", missing.c_str());
  scoped_env trace("VELMORA_UI_TRACE", nullptr);
  std::string why;
  EXPECT_EQ(create(&why), nullptr);
  EXPECT_NE(why.find(missing), std::string::npos) << why;
}

TEST_F(OffscreenCreation, FailsOnAScriptThatIsADirectory) {
  scoped_env script("VELMORA_UI_SCRIPT", dir.root().string().c_str());
  scoped_env trace("VELMORA_UI_TRACE", nullptr);
  std::string why;
  EXPECT_EQ(create(&why), nullptr);
  EXPECT_NE(why.find(dir.root().string()), std::string::npos) << why;
}

TEST_F(OffscreenCreation, FailsOnAMalformedScriptNamingTheLine) {
  const auto file = dir.write("script.txt", "key Return\nkey Enter\n");
  scoped_env script("VELMORA_UI_SCRIPT", file.string().c_str());
  scoped_env trace("VELMORA_UI_TRACE", nullptr);
  std::string why;
  EXPECT_EQ(create(&why), nullptr);
  EXPECT_NE(why.find(file.string()), std::string::npos) << why;
  EXPECT_NE(why.find("line 2 \"key Enter\""), std::string::npos) << why;
}

TEST_F(OffscreenCreation, FailsOnATraceThatCannotBeOpened) {
  const std::string unopenable = path("no-such-dir/trace.jsonl");
  scoped_env script("VELMORA_UI_SCRIPT", nullptr);
  scoped_env trace("VELMORA_UI_TRACE", unopenable.c_str());
  std::string why;
  EXPECT_EQ(create(&why), nullptr);
  EXPECT_NE(why.find(unopenable), std::string::npos) << why;
}

TEST_F(OffscreenCreation, TheRegistryOpensItOnlyWhenNamed) {
  const std::string missing = path("no-such-script.txt");
  scoped_env script("VELMORA_UI_SCRIPT", missing.c_str());
  scoped_env trace("VELMORA_UI_TRACE", nullptr);
  std::string why;
  EXPECT_EQ(ui::open_window_system("offscreen", ui::screen_resources(), &why), nullptr);
  EXPECT_NE(why.find("'offscreen' cannot run"), std::string::npos) << why;
  EXPECT_NE(why.find(missing), std::string::npos) << why;
  // Unnamed, it is not tried: with no display nothing can run, and the
  // reasons are those of the other backends.
  scoped_env no_display("DISPLAY", nullptr);
  why.clear();
  EXPECT_EQ(ui::open_window_system(nullptr, ui::screen_resources(), &why), nullptr);
  EXPECT_EQ(why.find("offscreen"), std::string::npos) << why;
  EXPECT_EQ(why.find(missing), std::string::npos) << why;
}

// --- scripted sessions -------------------------------------------------------------

// The installer's screen over the offscreen system: the main window with the
// three buttons, a script and a trace in a temporary directory.
class OffscreenSession : public ::testing::Test {
protected:
  temp_drive dir;
  scoped_env no_profile{"VELMORA_PROFILE", "/nonexistent/velmora-test-profile.ini"};
  std::string trace_path = (dir.root() / "trace.jsonl").string();
  scoped_env trace_env{"VELMORA_UI_TRACE", trace_path.c_str()};
  std::optional<scoped_env> script_env;
  std::unique_ptr<ui::window_system> owned;
  ui::window_system* previous = nullptr;
  bool installed = false;

  ~OffscreenSession() override {
    if (installed) {
      ui::release_colour_scheme();
      ui::forget_main_window();
      ui::set_window_system(previous);
    }
  }

  ui::offscreen::offscreen_window_system& ws() {
    return static_cast<ui::offscreen::offscreen_window_system&>(*owned);
  }

  // Opens the system on the script and the screen on the system, as the
  // installer's start-up does; nothing is dispatched yet.
  void start(const std::string& script) {
    const auto file = dir.write("script.txt", script);
    script_env.emplace("VELMORA_UI_SCRIPT", file.string().c_str());
    std::string why;
    owned = ui::create_offscreen_window_system(ui::screen_resources(), &why);
    ASSERT_NE(owned, nullptr) << why;
    previous = ui::set_window_system(owned.get());
    installed = true;
    ui::reset_text_lines();
    ui::buttons = {};
    ui::build_colour_scheme();
    ASSERT_EQ(ui::register_window_classes(0), 1);
    ASSERT_EQ(ui::create_main_window(0, ui::sw_show_normal), 1);
    ui::load_key_table(0);
    ui::reset_key_queue();
    const char* captions[] = {"Install", "Avbryt", "V\xE4lj skiva"};
    for (int slot = 0; slot < 3; ++slot) {
      ui::buttons[static_cast<std::size_t>(slot)] = ws().create_window(
          0, ui::button_class, captions[slot],
          ui::window_style::child | ui::window_style::visible | ui::window_style::push_button,
          20 + 140 * slot, 110, 120, 25, ui::main_window(), slot + 1, 0);
      ASSERT_NE(ui::buttons[static_cast<std::size_t>(slot)], 0u);
    }
  }

  std::vector<std::string> trace() const {
    std::vector<std::string> lines;
    std::istringstream in(temp_drive::read(trace_path));
    for (std::string line; std::getline(in, line);)
      lines.push_back(line);
    return lines;
  }
};

constexpr const char* title = "   Velmora installation";

std::string window_line(const char* op) {
  return std::string(R"({"event":"window","op":")") + op + R"(","title":")" + title + "\"}";
}
std::string blank_paint() {
  return R"({"event":"paint","lines":[{"y":20,"x":221,"text":" "},{"y":50,"x":221,"text":" "},)"
         R"({"y":80,"x":221,"text":" "}]})";
}

TEST_F(OffscreenSession, HandsOverEachEventAndTracesTheWholeRun) {
  start("# keys, characters, a click, the close command, the quit message\n"
        "key Return\n"
        "key Escape\n"
        "char 2\n"
        "click 2\n"
        "key a\n"
        "key 7\n"
        "key F5\n"
        "close\n"
        "quit\n");
  ui::text_lines = {"V\xE4lkommen", "C:\\VELMORA \"1\"", "Tryck p\xE5 Enter"};
  ui::mark_default_button(1);
  // Start-up: the paint and the button styles are dispatched; no event used.
  EXPECT_EQ(ui::drain_messages(), 1);
  EXPECT_EQ(ws().events_left(), 9u);
  ui::message m;
  EXPECT_FALSE(ws().peek_message(&m, false));

  const std::uint16_t expected_codes[] = {269, 258, 2, 2, 'a', '7', 572, 550, 999};
  for (std::uint16_t code : expected_codes)
    EXPECT_EQ(ui::wait_for_key(), code);
  EXPECT_EQ(ws().events_left(), 0u);

  const std::vector<std::string> expected{
      window_line("create"),
      window_line("show"),
      R"({"event":"button","op":"create","id":1,"text":"Install"})",
      R"({"event":"button","op":"create","id":2,"text":"Avbryt"})",
      "{\"event\":\"button\",\"op\":\"create\",\"id\":3,\"text\":\"V\xC3\xA4lj skiva\"}",
      R"({"event":"default-button","slot":1})",
      // 9, 14 and 14 bytes: x = (450 - 72) / 2, (450 - 112) / 2.
      "{\"event\":\"paint\",\"lines\":[{\"y\":20,\"x\":189,\"text\":\"V\xC3\xA4lkommen\"},"
      R"({"y":50,"x":169,"text":"C:\\VELMORA \"1\""},)"
      "{\"y\":80,\"x\":169,\"text\":\"Tryck p\xC3\xA5 Enter\"}]}",
      R"({"event":"key","code":269})",
      R"({"event":"key","code":258})",
      R"({"event":"key","code":2})",
      R"({"event":"key","code":2})",
      R"({"event":"key","code":97})",
      R"({"event":"key","code":55})",
      R"({"event":"key","code":572})",
      R"({"event":"key","code":550})",
      R"({"event":"key","code":999})",
  };
  EXPECT_EQ(trace(), expected);
}

TEST_F(OffscreenSession, PeeksAndDrainsNeverTakeAnEvent) {
  start("key Return\n");
  for (int i = 0; i < 3; ++i)
    ui::drain_messages();
  ui::message m;
  EXPECT_FALSE(ws().peek_message(&m, true));
  EXPECT_EQ(ui::drain_messages(), 0);
  EXPECT_EQ(ws().events_left(), 1u);
  EXPECT_EQ(ui::wait_for_key(), 269);
  EXPECT_EQ(ws().events_left(), 0u);
}

TEST_F(OffscreenSession, AnEventThatPostsNothingGivesWayToTheNextInTheSameWait) {
  start("click 42\nkey Escape\n");
  ui::drain_messages();
  EXPECT_EQ(ui::wait_for_key(), 258);
  EXPECT_EQ(ws().events_left(), 0u);
}

TEST_F(OffscreenSession, MinimiseRestoreAndEndOfSessionReachTheMainWindow) {
  start("minimize\n"
        "key Tab\n"
        "close\n" // refused while minimised
        "restore\n"
        "key Up\n"
        "endsession\n" // refused: nothing queued
        "key Down\n");
  ui::drain_messages();
  const std::size_t before = trace().size();

  EXPECT_EQ(ui::wait_for_key(), 265);
  EXPECT_TRUE(ws().is_iconic(ui::main_window()));
  EXPECT_EQ(ui::wait_for_key(), 328);
  EXPECT_FALSE(ws().is_iconic(ui::main_window()));
  EXPECT_EQ(ui::wait_for_key(), 336);
  EXPECT_EQ(ws().events_left(), 0u);

  // The restored window is painted again before the next key.
  const std::vector<std::string> lines = trace();
  const std::vector<std::string> expected{
      R"({"event":"key","code":265})",
      blank_paint(),
      R"({"event":"key","code":328})",
      R"({"event":"key","code":336})",
  };
  EXPECT_EQ(
      std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(before), lines.end()),
      expected);
}

TEST_F(OffscreenSession, PaintsMeasureEightPixelsABytePerLineOfAtMost100) {
  start("");
  ui::drain_messages();
  const std::string long_line(120, 'x');
  ui::text_lines = {"", "abc", long_line.c_str()};
  ui::paint_text_lines(ui::main_window());

  const ui::dc_handle dc = ws().get_dc(ui::main_window());
  const ui::extent size = ws().text_extent(dc, "abcde", 5);
  EXPECT_EQ(size.cx, 40);
  EXPECT_EQ(size.cy, 16);
  ws().release_dc(ui::main_window(), dc); // nothing drawn: no paint event

  const std::vector<std::string> lines = trace();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), R"({"event":"paint","lines":[{"y":20,"x":225,"text":""},)"
                          R"({"y":50,"x":213,"text":"abc"},)"
                          R"({"y":80,"x":-175,"text":")" +
                              std::string(100, 'x') + "\"}]}");
}

TEST_F(OffscreenSession, DestroyingTheMainWindowTracesItsButtonsFirst) {
  start("");
  ui::drain_messages();
  const std::size_t before = trace().size();
  ASSERT_TRUE(ws().destroy_window(ui::main_window()));
  const std::vector<std::string> lines = trace();
  const std::vector<std::string> expected{
      R"({"event":"button","op":"destroy","id":1,"text":"Install"})",
      R"({"event":"button","op":"destroy","id":2,"text":"Avbryt"})",
      "{\"event\":\"button\",\"op\":\"destroy\",\"id\":3,\"text\":\"V\xC3\xA4lj skiva\"}",
      window_line("destroy"),
  };
  EXPECT_EQ(
      std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(before), lines.end()),
      expected);
}

TEST_F(OffscreenSession, TheTraceIsAppendedToWhatTheFileHolds) {
  std::ofstream(trace_path, std::ios::binary) << "{\"event\":\"earlier\"}\n";
  start("");
  const std::vector<std::string> lines = trace();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], R"({"event":"earlier"})");
  EXPECT_EQ(lines[1], window_line("create"));
}

// --- the end of the script -----------------------------------------------------------

using OffscreenSessionDeathTest = OffscreenSession;

TEST_F(OffscreenSessionDeathTest, WaitingAfterTheLastEventExitsWithCode3) {
  start("key Return\n");
  ui::drain_messages();
  EXPECT_EXIT(
      {
        ui::wait_for_key();
        ui::wait_for_key();
      },
      ::testing::ExitedWithCode(3), "");
  const std::vector<std::string> lines = trace();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], R"({"event":"key","code":269})");
  EXPECT_EQ(lines.back(), R"({"event":"script-exhausted"})");
}

TEST_F(OffscreenSessionDeathTest, AnEmptyScriptEndsAtTheFirstWait) {
  start("# nothing to do\n");
  EXPECT_EXIT(
      {
        ui::drain_messages(); // start-up does not wait
        ui::wait_for_key();
      },
      ::testing::ExitedWithCode(3), "");
  const std::vector<std::string> lines = trace();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], blank_paint());
  EXPECT_EQ(lines.back(), R"({"event":"script-exhausted"})");
}

} // namespace
