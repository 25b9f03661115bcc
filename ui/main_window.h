// The installer's one window: its classes, its window procedure, the key
// queue the procedure fills, and the two message pumps that empty it.
//
// Key codes: typed characters (1 to 255), button command ids ("Install" 1,
// "Avbryt" 2, "Välj skiva" 3), accelerator command ids (258 to 572), the close
// request 550; wait_for_key returns 999 when the message loop is told to quit.
#pragma once

#include "ui/window_system.h"

#include <cstdint>

namespace ui {

inline constexpr std::uint16_t close_request_code = 550;
inline constexpr std::uint16_t quit_code = 999;
inline constexpr int key_ring_slots = 126;

inline constexpr const char* main_window_title = "   Velmora installation";
inline constexpr const char* main_window_class = "DulOrigo";
inline constexpr int main_window_x = 100;
inline constexpr int main_window_y = 100;
inline constexpr int main_window_width = 450;
inline constexpr int main_window_height = 180;

// Loads the icon ZORVEK and the arrow and hourglass cursors, then registers
// "HelWClass" (its failure ignored), "TreWClass", "DulWClass" and "DulOrigo".
// Returns 0 as soon as TreWClass or DulWClass fails, else 1 when DulOrigo
// registered and 0 when it did not.
int register_window_classes(instance_handle instance);

// Creates the main window (class DulOrigo, 450 by 180 at 100, 100), gives it
// the focus and shows it with show. Returns 1, or 0 when it cannot be made.
int create_main_window(instance_handle instance, int show);

// The procedure of all four classes: queues typed characters, turns commands
// into posted queue-key messages and the close command into 550, refuses the
// end of the session, paints.
lresult main_window_procedure(window_handle w, std::uint32_t id, wparam first, lparam second);

// Appends a code to the ring of 126. No test for a full ring: a 126th unread
// code makes it read as empty.
void push_key(std::uint16_t code);

// Empties the ring (both indices 0): codes of start-up are discarded.
void reset_key_queue();

// Returns the next key code, pumping messages until there is one, under the
// arrow cursor; the hourglass is set again before it returns. Blocks until a
// message arrives, also when a code is queued already. Returns 999, leaving
// queue and cursor alone, when the message loop is told to quit.
std::uint16_t wait_for_key();

// Handles every waiting message; 1 when it handled at least one, else 0.
// Never blocks.
int drain_messages();

// Handles the waiting paint messages and no others: input stays queued
// (for drain_messages and reset_key_queue to discard). For long work on the
// program's thread, so that its windows stay drawn and the system sees it
// take messages. Never blocks.
void pump_paint_messages();

// Loads the accelerator table ZORACC that both pumps translate with.
void load_key_table(instance_handle instance);

// The main window (0 before create_main_window and after destruction).
window_handle main_window();
void forget_main_window();

} // namespace ui
