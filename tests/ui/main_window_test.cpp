// The main window's procedure, the key queue and the two message pumps.
#include "tests/ui/fake_window_system.h"
#include "ui/accelerators.h"
#include "ui/main_window.h"

#include <gtest/gtest.h>

using velmora_test::fake_window_system;
using velmora_test::screen_fixture;

namespace {

class MainWindow : public ::testing::Test {
protected:
  fake_window_system& ws = screen.ws;
  screen_fixture screen;
  ui::window_handle main() const { return ui::main_window(); }
  // Hands the given step to the next blocking wait and returns the code.
  std::uint16_t answer(std::function<void(fake_window_system&)> step) {
    ws.steps.push_back(std::move(step));
    return ui::wait_for_key();
  }
};

TEST_F(MainWindow, OpensWithItsClassTitleAndSize) {
  ASSERT_NE(main(), 0u);
  const ui::rect client = ws.client_rect(main());
  EXPECT_EQ(client.right, 450 - ui::emulated::frame_width);
  EXPECT_FALSE(ws.is_iconic(main()));
  // A second registration of the classes fails on the existing TreWClass.
  EXPECT_EQ(ui::register_window_classes(0), 0);
}

TEST_F(MainWindow, EveryAcceleratorKeyYieldsItsCommandId) {
  for (const auto& entry : ui::zoracc) {
    const std::uint16_t code = answer([&](fake_window_system& f) { f.key(entry.key); });
    EXPECT_EQ(code, entry.command) << "key " << entry.key;
  }
  EXPECT_EQ(ui::zoracc.size(), 23u);
  EXPECT_EQ(ui::zoracc.back().flags & ui::accel_flag::end, ui::accel_flag::end);
}

TEST_F(MainWindow, NamedKeysGiveTheirCodes) {
  const std::pair<std::uint16_t, std::uint16_t> keys[] = {
      {ui::vk::enter, 269}, {ui::vk::escape, 258}, {ui::vk::tab, 265},   {ui::vk::back, 264},
      {ui::vk::left, 331},  {ui::vk::up, 328},     {ui::vk::right, 333}, {ui::vk::down, 336}};
  for (auto [key, code] : keys) {
    // The keys type characters too; the table takes them first.
    EXPECT_EQ(answer([key = key](fake_window_system& f) {
                f.key(key, static_cast<unsigned char>(key == ui::vk::escape ? 27 : key));
              }),
              code);
  }
}

TEST_F(MainWindow, KeysWithModifiersAreNotAccelerators) {
  // Shift+Tab types nothing and matches no entry: no code; then a plain 'a'.
  EXPECT_EQ(answer([](fake_window_system& f) {
              f.key(ui::vk::tab, 0, ui::accel_flag::shift);
              f.key('A', 'a');
            }),
            'a');
}

TEST_F(MainWindow, TypedCharactersAreQueuedAsTheyAre) {
  EXPECT_EQ(answer([](fake_window_system& f) { f.key('A', 'a'); }), 'a');
  EXPECT_EQ(answer([](fake_window_system& f) { f.key('5', '5'); }), '5');
  // Ctrl+B: the same code as a click on "Avbryt".
  EXPECT_EQ(
      answer([this](fake_window_system& f) { f.post_message(main(), ui::msg::character, 2, 0); }),
      2);
  EXPECT_EQ(answer([this](fake_window_system& f) {
              f.post_message(main(), ui::msg::character, 0xE4, 0);
            }),
            0xE4);
}

TEST_F(MainWindow, AClickQueuesItsIdAfterTwoDispatches) {
  ui::push_key(7); // something queued already: the click comes behind it
  ws.post_message(main(), ui::msg::command, 1, 0);
  // First dispatch: the command becomes a posted queue-key message.
  ui::message m;
  ASSERT_TRUE(ws.get_message(&m));
  ws.dispatch_message(m);
  ASSERT_TRUE(ws.peek_message(&m, false));
  EXPECT_EQ(m.id, ui::queue_key_message);
  EXPECT_EQ(m.first, 1u);
  EXPECT_EQ(ui::wait_for_key(), 7);
  EXPECT_EQ(answer([](fake_window_system&) {}), 1);
}

TEST_F(MainWindow, QueueKeyMessagesWithBit15AreNotQueued) {
  EXPECT_EQ(answer([this](fake_window_system& f) {
              f.post_message(main(), ui::queue_key_message, 0x8000, 0);
              f.post_message(main(), ui::queue_key_message, 0xFFFF, 0);
              f.post_message(main(), ui::queue_key_message, 0x7FFF, 0);
            }),
            0x7FFF);
}

TEST_F(MainWindow, CloseQueues550UnlessMinimised) {
  EXPECT_EQ(answer([this](fake_window_system& f) {
              f.post_message(main(), ui::msg::sys_command, ui::sc_close | 0x2, 0);
            }),
            ui::key::close_request);
  EXPECT_NE(main(), 0u);
  EXPECT_TRUE(ws.client_rect(main()).right > 0) << "the window stays open";

  ws.post_message(main(), ui::msg::sys_command, ui::sc_minimize, 0);
  ui::drain_messages();
  ASSERT_TRUE(ws.is_iconic(main()));
  EXPECT_EQ(answer([this](fake_window_system& f) {
              f.post_message(main(), ui::msg::sys_command, ui::sc_close, 0);
              f.post_message(main(), ui::msg::character, 'z', 0);
            }),
            'z');
}

TEST_F(MainWindow, EndOfSessionIsRefused) {
  EXPECT_EQ(ui::main_window_procedure(main(), ui::msg::query_end_session, 0, 0), 0);
  EXPECT_EQ(ws.def_window_proc(main(), ui::msg::query_end_session, 0, 0), 1);
}

TEST_F(MainWindow, TheRingHolds125CodesAndA126thEmptiesIt) {
  for (std::uint16_t i = 1; i <= 125; ++i)
    ui::push_key(i);
  for (std::uint16_t i = 1; i <= 125; ++i) {
    ws.post_message(main(), ui::msg::size, 0, 0); // something waiting to let it return
    EXPECT_EQ(ui::wait_for_key(), i);
  }
  ui::drain_messages();
  ui::reset_key_queue();
  for (std::uint16_t i = 1; i <= 126; ++i)
    ui::push_key(i);
  // It reads as empty: the next code is the next one pushed.
  EXPECT_EQ(answer([](fake_window_system& f) { f.key('Q', 'q'); }), 'q');
}

TEST_F(MainWindow, WaitingWithACodeQueuedStillWaitsForAMessage) {
  ui::push_key(42);
  const int before = ws.waits;
  ws.steps.push_back(
      [this](fake_window_system& f) { f.post_message(main(), ui::msg::size, 0, 0); });
  EXPECT_EQ(ui::wait_for_key(), 42);
  EXPECT_EQ(ws.waits, before + 1);
  // The message that ended the wait is still there.
  ui::message m;
  ASSERT_TRUE(ws.peek_message(&m, false));
  EXPECT_EQ(m.id, ui::msg::size);
}

TEST_F(MainWindow, WaitingBlocksInsteadOfSpinning) {
  const int peeks_before = ws.peeks;
  EXPECT_EQ(answer([](fake_window_system& f) { f.key('X', 'x'); }), 'x');
  // One peek finds nothing and blocks; after the input one finds the message.
  EXPECT_LE(ws.peeks - peeks_before, 4);
}

TEST_F(MainWindow, QuitReturns999AndKeepsTheArrow) {
  ws.cursors.clear();
  const std::uint16_t code = answer([](fake_window_system& f) { f.post_quit_message(0); });
  EXPECT_EQ(code, ui::key::quit);
  ASSERT_FALSE(ws.cursors.empty());
  EXPECT_EQ(ws.current_cursor(), ws.load_standard_cursor(ui::standard_cursor::arrow));
  EXPECT_EQ(ws.keys_returned.back(), ui::key::quit);
}

TEST_F(MainWindow, CursorIsTheArrowWhileWaitingAndTheHourglassAfter) {
  ws.cursors.clear();
  const ui::cursor_handle arrow = ws.load_standard_cursor(ui::standard_cursor::arrow);
  const ui::cursor_handle hourglass = ws.load_standard_cursor(ui::standard_cursor::wait);
  ui::cursor_handle while_waiting = 0;
  EXPECT_EQ(answer([&](fake_window_system& f) {
              while_waiting = f.current_cursor();
              f.key('A', 'a');
            }),
            'a');
  EXPECT_EQ(while_waiting, arrow);
  EXPECT_EQ(ws.current_cursor(), hourglass);
  EXPECT_EQ(ws.cursor_count(), 0) << "the display count is left as it was";
}

TEST_F(MainWindow, CodesOfStartUpAreDiscardedByTheReset) {
  ui::push_key('s');
  ws.post_message(main(), ui::msg::character, 't', 0);
  ui::drain_messages(); // queues 't' behind 's'
  ui::reset_key_queue();
  EXPECT_EQ(answer([](fake_window_system& f) { f.key('U', 'u'); }), 'u');
}

TEST_F(MainWindow, DrainHandlesWhatIsWaitingAndNeverBlocks) {
  EXPECT_EQ(ui::drain_messages(), 0);
  ws.post_message(main(), ui::msg::character, 'd', 0);
  ws.key(ui::vk::escape, 27);
  const int waits = ws.waits;
  EXPECT_EQ(ui::drain_messages(), 1);
  EXPECT_EQ(ws.waits, waits);
  // The codes stay for wait_for_key.
  ws.post_message(main(), ui::msg::size, 0, 0);
  EXPECT_EQ(ui::wait_for_key(), 'd');
  ws.post_message(main(), ui::msg::size, 0, 0);
  EXPECT_EQ(ui::wait_for_key(), 258);
}

} // namespace
