// The free-space probe of drives.
#pragma once

#include <cstdint>

namespace sys {

// Free space of drive `letter` (A to Z) in kilobytes of 1024 bytes, cut toward
// zero; 0 for a removable drive (its medium is not touched), for a letter with
// no drive, and when the free space cannot be read. Space beyond 2^31 - 1
// kilobytes is reported as 2147483647.
std::int32_t drive_free_kb(char letter);

} // namespace sys
