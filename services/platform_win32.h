// What the Windows files of the platform layer share and nothing else sees.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

#include "codes.h"
#include "platform.h"

namespace ehi::sys {

/// The HANDLE behind a handle, and the handle of a HANDLE.
inline HANDLE Win(Handle h) { return reinterpret_cast<HANDLE>(h.Raw()); }
inline Handle FromWin(HANDLE h) {
  return h == INVALID_HANDLE_VALUE || h == nullptr ? kNoHandle
                                                   : Handle(reinterpret_cast<intptr_t>(h));
}

/// Maps a GetLastError value to the runtime error number. An error with no
/// closer meaning is a device error: 100 on reading, 101 on writing.
int MapWinError(DWORD e, int otherwise = rte::kDiskRead);

/// `path` with "/" turned into "\\" ("." for the empty path).
std::string NativePath(const std::string& path);

/// Facts of an open file (or folder) handle.
PathFacts FactsOfHandle(HANDLE h);

}  // namespace ehi::sys
