// The Win32 API, included here and nowhere else.
//
//===----------------------------------------------------------------------===//
//=== Generic Win32 only: nothing here may need more than Windows 7, nor one
//=== compiler's or SDK's extras.
//===----------------------------------------------------------------------===//
#pragma once

// The API level is pinned at Windows 7 here rather than left to the toolchain:
// mingw-w64 releases default to anything from XP (0x0502) to Windows 10
// (0x0A00). A standard header included earlier may already have set the
// toolchain's value, hence the #undef.
#undef _WIN32_WINNT
#undef WINVER
#define _WIN32_WINNT 0x0601
#define WINVER 0x0601

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

#include <windows.h>
