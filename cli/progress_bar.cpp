// A progress bar on standard error, drawn only on a terminal.
#include "cli/progress_bar.h"

#include "sys/platform.h"

#include <cstdio>

namespace cli {

namespace {
constexpr int bar_width = 30;
}

progress_bar::progress_bar(std::string label, std::uint64_t total, bool enabled)
    : label_(std::move(label)), total_(total), drawing_(will_draw(enabled)) {}

bool progress_bar::will_draw(bool enabled) {
  return enabled && sys::current_platform().is_terminal(2);
}

progress_bar::~progress_bar() {
  finish();
}

void progress_bar::update(std::uint64_t done) {
  if (!drawing_)
    return;
  const int permille =
      total_ == 0 ? 0 : static_cast<int>(done >= total_ ? 1000 : done * 1000 / total_);
  if (permille == last_permille_)
    return;
  last_permille_ = permille;
  const int filled = permille * bar_width / 1000;
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.append(static_cast<std::size_t>(bar_width - filled), '.');
  std::fprintf(stderr, "\r%s [%s] %3d%%  %.1f MB", label_.c_str(), bar.c_str(), permille / 10,
               static_cast<double>(done) / 1e6);
  std::fflush(stderr);
  drawn_ = true;
}

void progress_bar::finish() {
  if (drawn_) {
    std::fputc('\n', stderr);
    drawn_ = false;
  }
  drawing_ = false;
}

void progress_bar::feed(std::uint32_t raw) {
  // The engine's totals are 32-bit and wrap past 4 GiB.
  if (raw < last_raw_)
    base_ += std::uint64_t{1} << 32;
  last_raw_ = raw;
  update(base_ + raw);
}

void progress_bar::on_consumed(std::uint32_t consumed, std::uint32_t, void* bar) {
  static_cast<progress_bar*>(bar)->feed(consumed);
}

void progress_bar::on_produced(std::uint32_t, std::uint32_t produced, void* bar) {
  static_cast<progress_bar*>(bar)->feed(produced);
}

} // namespace cli
