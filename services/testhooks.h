// Hooks that fault-injection tests and fuzz targets use to make the
// services fail at a chosen moment. The shipped programs never set them;
// they are kept out of the installed headers, so a program built on the
// library cannot come to depend on them.
#pragma once

#include <cstddef>
#include <string>

namespace ehi {

/// For fuzz targets: when set, Halt and RuntimeError call it with the exit
/// code (for a runtime error, its number) before anything else; a hook that
/// throws lets the caller go on.
using EndHook = void (*)(int code);
void SetEndHookForTesting(EndHook hook);

}  // namespace ehi

namespace ehi::sys {

/// Called with the name just before every open for reading (to make a file
/// vanish at a known moment).
using BeforeOpenHook = void (*)(const std::string& name);
void SetBeforeOpenHookForTesting(BeforeOpenHook hook);

/// Forces the named temporary file of a replacement, and calls `whileNamed`
/// once the temporary file has a name in the folder.
void SetReplaceHooksForTesting(bool namedOnly, void (*whileNamed)());

/// Reading any directory fails with a device error after its first
/// `entries` entries (a negative count switches it off).
void SetListingFaultForTesting(int entries);

/// Reading any directory waits for ever after its first `entries` entries,
/// as a share that stopped answering does (a negative count switches it
/// off).
void SetListingStallForTesting(int entries);

/// Every read gives at most `bytes` bytes (0: as many as asked for), as
/// network and FUSE file systems may in the middle of a file.
void SetShortReadsForTesting(size_t bytes);

}  // namespace ehi::sys
