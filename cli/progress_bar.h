// A progress bar on standard error, drawn only on a terminal.
#pragma once

#include <cstdint>
#include <string>

namespace cli {

class progress_bar {
public:
  // label: what is being done ("building"); total: the amount that means 100 %
  // (0 when unknown). Draws nothing unless enabled and standard error is a
  // terminal.
  progress_bar(std::string label, std::uint64_t total, bool enabled);
  // Whether a bar made with enabled would draw: its total need not be
  // counted otherwise.
  static bool will_draw(bool enabled);
  ~progress_bar();
  progress_bar(const progress_bar&) = delete;
  progress_bar& operator=(const progress_bar&) = delete;

  void update(std::uint64_t done);
  // The amount that means 100 %, when it is known only once the work began.
  void set_total(std::uint64_t total) { total_ = total; }
  std::uint64_t total() const { return total_; }
  // Ends the bar's line (called by the destructor too).
  void finish();

  // An engine progress hook that feeds update() with the hook's first
  // (consumed) or second (produced) figure.
  static void on_consumed(std::uint32_t consumed, std::uint32_t produced, void* bar);
  static void on_produced(std::uint32_t consumed, std::uint32_t produced, void* bar);

private:
  std::string label_;
  std::uint64_t total_;
  bool drawing_;
  bool drawn_ = false;
  int last_permille_ = -1;
  std::uint64_t base_ = 0; // widening of the engine's 32-bit figures
  std::uint32_t last_raw_ = 0;
  void feed(std::uint32_t raw);
};

} // namespace cli
