// Calling the engine from tests: the status, the result block, the source spec text.
#pragma once

#include "archive/run_archive_command.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velmora_test {

struct engine_result {
  int code = -1;
  std::string block; // the nine result bytes
  std::string spec;  // the source spec text as the engine left it
  std::vector<std::pair<std::uint32_t, std::uint32_t>> progress;
  archive::failure_report report; // what failed and why
};

inline engine_result engine(const std::string& source, const std::string& spec,
                            const std::string& command, archive::engine_options options = {}) {
  engine_result r;
  std::vector<char> spec_text(spec.begin(), spec.end());
  spec_text.resize(spec.size() + 1 + 8, '\0');
  std::uint8_t block[archive::result_block_bytes + 1];
  std::fill(std::begin(block), std::end(block), 0xEE);
  archive::progress_hook hook;
  hook.call = [](std::uint32_t consumed, std::uint32_t produced, void* context) {
    static_cast<engine_result*>(context)->progress.emplace_back(consumed, produced);
  };
  hook.context = &r;
  r.code = archive::run_archive_command(source.c_str(), spec_text.data(), command.c_str(), block,
                                        hook, &r.report, options);
  r.block.assign(reinterpret_cast<const char*>(block), archive::result_block_bytes + 1);
  r.spec = spec_text.data();
  return r;
}

// The command of a build with stub: "PUA"/"PVA", the stub path, NUL, ten bytes.
inline std::string with_stub(const std::string& command, const std::string& stub,
                             const std::string& trailer) {
  std::string c = command + stub;
  c += '\0';
  c += trailer;
  return c;
}

} // namespace velmora_test
