// What both platform backends share: the latest failure's code, how a call
// records one, and how an escaping exception becomes one.
#pragma once

#include "sys/platform.h"

#include <cstdint>
#include <exception>
#include <new>

namespace sys {

// The base of sys::posix::platform and sys::win32::platform: last_error()
// answers the code the latest failing call recorded.
class platform_backend : public platform {
public:
  std::uint32_t last_error() final { return last_error_; }

protected:
  // Records code as the latest failure; returns failure for chaining.
  template <class R> R fail(std::uint32_t code, R failure) {
    last_error_ = code;
    return failure;
  }

  // Runs body, turning an escaping exception into a failure of the call.
  template <class R, class F> R guarded(R failure, F&& body) noexcept {
    try {
      return body();
    } catch (const std::bad_alloc&) {
      last_error_ = error::not_enough_memory;
    } catch (const std::exception&) {
      last_error_ = error::gen_failure;
    }
    return failure;
  }

  std::uint32_t last_error_ = error::success;
};

} // namespace sys
