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
/// tells "path not found" (3) from "file not found" (2); the system out of
/// memory is 203, as the heap's own. An error with no closer meaning is a
/// device error: 100 on reading, 101 on writing.
int MapError(int e, const std::string* path = nullptr, int otherwise = rte::kDiskRead);

/// Maps the errno of an open (or a create) that failed. An I/O error is a
/// device error, 100 reading and 101 writing, as anywhere else; whatever
/// else MapError names no closer (a link loop, a lease held elsewhere, a
/// device that refuses) means the file cannot be opened: access denied.
int MapOpenError(int e, const std::string& path, bool writing);

}  // namespace ehi::sys
