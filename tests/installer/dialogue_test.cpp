// The installer from start to end: dialogue keys, the install step, the
// completion record, the launch, cancel, and the failures it must survive.
#include "installer/installer.h"
#include "tests/archive/engine_helpers.h"
#include "tests/support/archive_bytes.h"
#include "tests/support/fault_platform.h"
#include "tests/support/temp_drive.h"
#include "tests/ui/fake_window_system.h"
#include "ui/main_window.h"
#include "ui/painting.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using namespace velmora_test;

namespace {

class Installer : public ::testing::Test {
protected:
  Installer() {
    for (char letter = 'A'; letter <= 'Z'; ++letter)
      fake.set_drive(letter, drive_with_free_kb(letter == 'C' ? 500000 : 0));
    fake.record_launches();
    fake.set_module_file_name("C:\\SETUP.EXE");
    fs::create_directory(drive.c() / "VEK");
    drive.write("KIT/QXW32.EXE", "#!/bin/sh\necho started\n");
    drive.write("KIT/VV/SETTINGS.INI", "[velmora]\n");
    drive.write("KIT/HELP/INDEX.TXT", "help");
    build_installer(std::string("QXA0000\0\0\0", 10));
  }
  ~Installer() override { ui::set_window_system(previous); }

  void build_installer(const std::string& trailer) {
    drive.write("STUB.EXE", std::string("MZ\0\0stub", 8));
    ASSERT_EQ(
        engine("C:\\SETUP.EXE", "C:\\KIT\\***", with_stub("PUA", "C:\\STUB.EXE", trailer)).code, 0);
  }
  // Runs the installer; each element answers one wait for a key.
  int run(std::vector<std::function<void(fake_window_system&)>> answers) {
    for (auto& a : answers)
      ws.steps.push_back(std::move(a));
    return installer::run_installer(0, 0, "", ui::sw_show_normal);
  }
  static std::function<void(fake_window_system&)> press(std::uint16_t vk, unsigned char typed = 0) {
    return [=](fake_window_system& f) { f.key(vk, typed); };
  }
  static std::function<void(fake_window_system&)> typed(unsigned char c) {
    return
        [=](fake_window_system& f) { f.post_message(ui::main_window(), ui::msg::character, c, 0); };
  }
  static std::function<void(fake_window_system&)> click(int id) {
    return [=](fake_window_system& f) {
      f.post_message(ui::main_window(), ui::msg::command, static_cast<ui::wparam>(id),
                     static_cast<ui::lparam>(f.button(id)));
    };
  }
  // The last text drawn on line 2 or 3 (index 1 or 2).
  std::string last_line(int index) const {
    for (auto it = ws.texts.rbegin(); it != ws.texts.rend(); ++it)
      if (it->y == ui::line_tops[static_cast<std::size_t>(index)])
        return it->text;
    return "";
  }
  fs::path installed() const { return drive.c() / "QXA0000A"; }

  scoped_env no_profile{"VELMORA_PROFILE", "/nonexistent/velmora-test-profile.ini"};
  temp_drive drive;
  fault_platform fake;
  scoped_platform use{fake};
  fake_window_system ws;
  ui::window_system* previous = ui::set_window_system(&ws);
};

TEST_F(Installer, EnterInstallsRecordsAndLaunches) {
  EXPECT_EQ(run({press(ui::vk::enter, 13)}), 0);
  EXPECT_EQ(temp_drive::read(installed() / "QXW32.EXE"), "#!/bin/sh\necho started\n");
  EXPECT_EQ(temp_drive::read(installed() / "HELP" / "INDEX.TXT"), "help");
  const std::string record = temp_drive::read(installed() / "VV" / "QXNSSIN.TXT");
  ASSERT_EQ(record.size(), 256u);
  EXPECT_EQ(record, "C:\\SETUP.EXE" + std::string(256 - 12, '\0'));
  EXPECT_EQ(fake.launches(), (std::vector<std::string>{"C:\\QXA0000A\\QXW32.EXE"}));
  EXPECT_EQ(last_line(2), " Installation p\xE5g\xE5r... 100 %               ");
  EXPECT_EQ(last_line(1), "Ny katalog kommer att skapas:    C:\\QXA0000A\\");
  EXPECT_EQ(ui::main_window(), 0u) << "the window is gone at the end";
}

TEST_F(Installer, TheRecordIs256BytesForAnyOwnPath) {
  const std::string long_path = "C:\\" + std::string(240, 'P') + ".EXE";
  fs::rename(drive.c() / "SETUP.EXE", drive.c() / (std::string(240, 'P') + ".EXE"));
  fake.set_module_file_name(long_path);
  EXPECT_EQ(run({click(1)}), 0);
  const std::string record = temp_drive::read(installed() / "VV" / "QXNSSIN.TXT");
  ASSERT_EQ(record.size(), 256u);
  EXPECT_EQ(record.substr(0, long_path.size()), long_path);
  EXPECT_EQ(record[long_path.size()], '\0');
}

TEST_F(Installer, ArrowsMoveTheFocusBothWaysAndEnterActsOnIt) {
  // Left from Install to Välj skiva, Right back to Install, Right to Avbryt,
  // Right wraps to Välj skiva, Left to Avbryt; Enter there cancels.
  EXPECT_EQ(run({press(ui::vk::left), press(ui::vk::right), press(ui::vk::right),
                 press(ui::vk::down), press(ui::vk::up), press(ui::vk::enter, 13)}),
            0);
  EXPECT_EQ(ws.default_buttons, (std::vector<int>{0, 2, 0, 1, 2, 1}));
  EXPECT_FALSE(fs::exists(installed()));
  EXPECT_TRUE(fake.launches().empty());
}

TEST_F(Installer, EnterOnValjSkivaMovesToTheNextDiskAndFocusReturnsToInstall) {
  fake.set_drive('E', drive_with_free_kb(500000));
  EXPECT_EQ(run({press(ui::vk::left), press(ui::vk::enter, 13), press(ui::vk::escape, 27)}), 0);
  EXPECT_EQ(ws.default_buttons, (std::vector<int>{0, 2, 0}));
  // E: is not mapped to a directory here, so its name probe finds A free.
  bool saw_e = false;
  for (const auto& t : ws.texts)
    saw_e = saw_e || t.text == "Ny katalog kommer att skapas:    E:\\QXA0000A\\";
  EXPECT_TRUE(saw_e);
}

TEST_F(Installer, ControlCharactersActLikeTheButtons) {
  EXPECT_EQ(run({typed(3), typed(2)}), 0); // next disk (back to C:), then cancel
  EXPECT_FALSE(fs::exists(installed()));
  ws.steps.clear();
}

TEST_F(Installer, TypedOneInstalls) {
  EXPECT_EQ(run({typed(1)}), 0);
  EXPECT_TRUE(fs::exists(installed() / "QXW32.EXE"));
}

TEST_F(Installer, OtherKeysCloseAndQuitChangeNothing) {
  EXPECT_EQ(run({press(ui::vk::tab, 9), press('A', 'a'), press(ui::vk::f1),
                 [](fake_window_system& f) {
                   f.post_message(ui::main_window(), ui::msg::sys_command, ui::sc_close, 0);
                 },
                 [](fake_window_system& f) { f.post_quit_message(0); }, click(2)}),
            0);
  EXPECT_EQ(ws.default_buttons, (std::vector<int>{0, 0, 0, 0, 0, 0}));
  EXPECT_FALSE(fs::exists(installed()));
}

TEST_F(Installer, CancelWritesNothingAndStartsNothing) {
  EXPECT_EQ(run({press(ui::vk::escape, 27)}), 0);
  std::vector<std::string> top;
  for (const auto& e : fs::directory_iterator(drive.c()))
    top.push_back(e.path().filename().string());
  std::sort(top.begin(), top.end());
  EXPECT_EQ(top, (std::vector<std::string>{"KIT", "SETUP.EXE", "STUB.EXE", "VEK"}));
  EXPECT_TRUE(fake.launches().empty());
  EXPECT_EQ(temp_drive::read(drive.c() / "VEK" / "QXERROR.TXT"), "");
}

TEST_F(Installer, AFailedDirectoryTestKeepsEveryButton) {
  fake.fail(op::create_directory, 1, 5);
  bool all_there = false;
  EXPECT_EQ(run({press(ui::vk::enter, 13),
                 [&](fake_window_system& f) {
                   all_there = f.button(1) != 0 && f.button(2) != 0 && f.button(3) != 0;
                   f.key(ui::vk::escape, 27);
                 }}),
            0);
  EXPECT_TRUE(all_there);
  EXPECT_FALSE(fs::exists(installed()));
  EXPECT_TRUE(fake.launches().empty());
}

TEST_F(Installer, AFailedExtractionIsShownAndNeitherRecordedNorLaunched) {
  // A payload whose chunk does not decode.
  std::string bad = zlib_compress("data");
  bad.back() ^= 0x11;
  drive.write("SETUP.EXE", archive_bytes(6, "MZstub\0")
                               .file("C:\\KIT\\GOOD.TXT", "good")
                               .name("C:\\KIT\\VV\\BAD.TXT")
                               .raw_chunk(bad)
                               .end_of_file()
                               .end_of_archive(20)
                               .bytes(std::string("QXA0000\0\0\0", 10))
                               .str());
  // Keys and clicks during the extraction are not acted on: the failure
  // screen still waits for its own key.
  ws.arriving_during_filtered_peek = [](fake_window_system& f) {
    f.key(ui::vk::escape, 27);
    click(1)(f);
  };
  bool only_avsluta = false;
  EXPECT_EQ(run({press(ui::vk::enter, 13),
                 [&](fake_window_system& f) {
                   only_avsluta = f.button(1) == 0 && f.button(3) == 0 && f.button(2) != 0 &&
                                  f.button_text(2) == "Avsluta";
                   f.key('X', 'x');
                 }}),
            0);
  EXPECT_TRUE(only_avsluta);
  EXPECT_EQ(ws.keys_returned.back(), 'x');
  EXPECT_EQ(last_line(0), "Installationen misslyckades. Inget har installerats.");
  EXPECT_EQ(last_line(1), "Arkivet i installationsfilen \xE4r skadat.");
  EXPECT_EQ(last_line(2), "Tryck p\xE5 en tangent f\xF6r att avsluta.");
  EXPECT_FALSE(fs::exists(installed())) << "GOOD.TXT, written before the damage, is gone";
  EXPECT_TRUE(fake.launches().empty());
}

TEST_F(Installer, AnInstallerWithoutMarkerFailsAndLeavesNothing) {
  drive.write("SETUP.EXE", "MZstub" + std::string("\x04\x14\0\0\0QXA0000\0\0\0", 15));
  EXPECT_EQ(run({press(ui::vk::enter, 13), press('X', 'x')}), 0);
  EXPECT_EQ(last_line(0), "Installationen misslyckades. Inget har installerats.");
  EXPECT_EQ(last_line(1), "Installationsfilen saknar arkiv.");
  EXPECT_FALSE(fs::exists(installed()));
}

TEST_F(Installer, AStubWithoutPayloadOffersNoRoom) {
  drive.write("SETUP.EXE", std::string(4096, 'M'));
  EXPECT_EQ(run({press(ui::vk::enter, 13), press(ui::vk::escape, 27)}), 0);
  EXPECT_EQ(last_line(1), "Diskutrymme saknas.");
  EXPECT_EQ(last_line(2), "Installationen kan ej utf\xF6ras.");
  EXPECT_TRUE(fake.launches().empty());
}

TEST_F(Installer, NoRoomOnAnyDriveInstallDoesNothingAndAvbrytStays) {
  fake.set_drive('C', drive_with_free_kb(1000));
  EXPECT_EQ(run({press(ui::vk::left), press(ui::vk::enter, 13), press(ui::vk::enter, 13), click(1),
                 typed(1), click(2)}),
            0);
  EXPECT_EQ(ws.keys_returned.back(), 2);
  EXPECT_EQ(last_line(1), "Diskutrymme saknas.");
  EXPECT_FALSE(fs::exists(installed()));
  EXPECT_TRUE(fake.launches().empty());
}

TEST_F(Installer, TheLastThreeTrailerBytesDoNotMatter) {
  build_installer("QXB1234xyz");
  EXPECT_EQ(run({press(ui::vk::enter, 13)}), 0);
  EXPECT_TRUE(fs::exists(drive.c() / "QXB1234A" / "QXW32.EXE"));
  EXPECT_EQ(fake.launches(), (std::vector<std::string>{"C:\\QXB1234A\\QXW32.EXE"}));
}

TEST_F(Installer, ASecondRunProposesTheNextName) {
  EXPECT_EQ(run({press(ui::vk::enter, 13)}), 0);
  fake_window_system second_process; // a new run starts with a new window system
  ui::set_window_system(&second_process);
  second_process.steps.push_back(press(ui::vk::enter, 13));
  EXPECT_EQ(installer::run_installer(0, 0, "", ui::sw_show_normal), 0);
  ui::set_window_system(&ws);
  EXPECT_TRUE(fs::exists(drive.c() / "QXA0000B" / "QXW32.EXE"));
  EXPECT_TRUE(fs::exists(installed() / "TEST.TST"));
  EXPECT_EQ(temp_drive::read(installed() / "QXW32.EXE"), "#!/bin/sh\necho started\n");
}

TEST_F(Installer, StartUpDrawsBlankLinesThenTheProposal) {
  EXPECT_EQ(run({press(ui::vk::escape, 27)}), 0);
  ASSERT_GE(ws.texts.size(), 6u);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(ws.texts[static_cast<std::size_t>(i)].text, " ");
  for (const auto& t : ws.texts) {
    if (t.y == 20) {
      EXPECT_EQ(t.text, " ") << "text line 1 is always a single blank";
    }
  }
}

} // namespace
