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
#include <string_view>
#include <vector>

#include "codes.h"
#include "platform.h"

namespace ehi::sys {

/// The HANDLE behind a handle, and the handle of a HANDLE.
inline HANDLE Win(Handle h) { return reinterpret_cast<HANDLE>(h.Raw()); }
inline Handle FromWin(HANDLE h) {
  return h == INVALID_HANDLE_VALUE || h == nullptr ? kNoHandle
                                                   : Handle(reinterpret_cast<intptr_t>(h));
}

/// Maps a GetLastError value to the runtime error number: Windows' own
/// number, except that a sharing violation, a folder not empty and a file
/// that exists are access denied (5) and the device errors 19..31 are
/// 150..162. `otherwise` stands for a failure that left no number (0) or
/// one too large to report.
int MapWinError(DWORD e, int otherwise = rte::kDiskRead);

/// The wide (UTF-16) form of the bytes of a name (UTF-8, or WTF-8 for a
/// name with a lone surrogate); false when the bytes spell no name Windows
/// can hold.
bool WideName(std::string_view bytes, std::wstring& wide);
/// The bytes of a wide name, losslessly (WTF-8).
std::string NarrowName(std::wstring_view wide);

/// `path` (wide, "\\" or "/" between folders, relative to `cwd` or
/// absolute) as the absolute verbatim path ("\\?\C:\..." or
/// "\\?\UNC\server\share\...") that the wide calls take at any length and
/// exactly as spelt: no trailing dot or blank is dropped and no name is a
/// device. "." and ".." are resolved here, as Windows would. A path that is
/// verbatim already, or a device path ("\\.\"), is kept as it is.
std::wstring VerbatimPath(std::wstring_view cwd, std::wstring_view path);
/// VerbatimPath of the bytes `path` against the current folder; false (and
/// the Windows error in `error`) when the bytes spell no name.
bool WidePath(const std::string& path, std::wstring& wide, DWORD& error);

/// The arguments of a Windows command line after the program's name, as
/// the C runtime splits them (blanks separate; quotes group; backslashes
/// are literal unless they precede a quote).
std::vector<std::wstring> SplitCommandLine(std::wstring_view line);

/// Facts of an open file (or folder) handle.
PathFacts FactsOfHandle(HANDLE h);

}  // namespace ehi::sys
