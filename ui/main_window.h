// The installer's one window: its classes, its window procedure, the key
// queue the procedure fills, and the two message pumps that empty it.
// The codes in the queue are those of ui/key_codes.h.
#pragma once

#include "ui/key_codes.h"
#include "ui/window_system.h"

#include <cstdint>

namespace ui {

inline constexpr int key_ring_slots = 126;

// The main window's own message that queues the key code in its first
// parameter (codes with bit 15 set are dropped): commands become these, so
// that a click or an accelerator is queued one dispatch later.
inline constexpr std::uint32_t queue_key_message = 32766;
static_assert(queue_key_message >= msg::user && queue_key_message <= 0x7FFF);

// The icon of the four window classes, a resource of the program.
inline constexpr const char* main_icon_name = "ZORVEK";

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

// The program's resources, for the window systems that are handed them
// instead of reading the program file: the icon ZORVEK and the accelerator
// table ZORACC (ui/accelerators.h). Lives as long as the program.
const resource_table& screen_resources();

// The main window (0 before create_main_window and after destruction).
window_handle main_window();
void forget_main_window();

} // namespace ui
