// What the POSIX files of the platform layer share and nothing else sees.
#pragma once

#include <string>

#include "codes.h"
#include "platform.h"

namespace ehi::sys {

/// The descriptor behind a handle, and the handle of a descriptor.
inline int Fd(Handle h) { return static_cast<int>(h.Raw()); }
inline Handle FromFd(int fd) { return fd < 0 ? kNoHandle : Handle(fd); }

/// Maps an errno value to the runtime error number. `path`, when given,
/// tells "path not found" (3) from "file not found" (2). An error with no
/// closer meaning is a device error: 100 on reading, 101 on writing.
int MapError(int e, const std::string* path = nullptr, int otherwise = rte::kDiskRead);

}  // namespace ehi::sys
