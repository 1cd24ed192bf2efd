// The thin layer over the operating system. Everything that calls POSIX
// lives behind these declarations (in platform_posix.cpp), so the rest of the
// system speaks only of descriptors, names and runtime error numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ehi::sys {

/// An open file descriptor of the platform, or -1.
using Handle = int;
constexpr Handle kNoHandle = -1;

/// The process's standard streams.
Handle StandardInput();
Handle StandardOutputHandle();
Handle StandardErrorHandle();

/// The controlling terminal opened for writing (or reading), or kNoHandle
/// when the process has none. Opened once and kept for the whole run.
Handle TerminalOutput();
Handle TerminalInput();

/// Called with the name just before every open for reading. Only fault
/// injection tests set it (to make a file vanish at a known moment); the
/// shipped programs leave it empty.
using BeforeOpenHook = void (*)(const std::string& name);
void SetBeforeOpenHookForTesting(BeforeOpenHook hook);

/// Opens an existing file for reading. On failure returns kNoHandle and sets
/// `error` to the runtime error number. A directory is refused with 5.
Handle OpenForReading(const std::string& name, int& error);
/// Creates or truncates a file for writing; as OpenForReading on failure.
Handle OpenForWriting(const std::string& name, int& error);
/// Creates a new file that must not exist yet (for temporary files), with
/// the permission bits `mode` (before the umask when `mode` is 0).
Handle CreateExclusive(const std::string& name, unsigned mode, int& error);

/// Reads up to `size` bytes. Returns the count (0 at end of file or on a
/// broken pipe), or -1 with `error` set.
long ReadSome(Handle h, char* buffer, size_t size, int& error);
/// Writes all bytes; false when a write fails or writes fewer bytes.
bool WriteAll(Handle h, const char* data, size_t size);
/// Forces written data to the storage device; false on failure.
bool SyncToDisk(Handle h);
/// Closes a descriptor; false on failure. Standard handles stay open.
bool CloseHandle(Handle h);
/// True when the handle is a character device (a terminal).
bool IsCharacterDevice(Handle h);

/// What the file system says of one path (links followed).
struct PathFacts {
  bool Exists = false;
  bool IsDirectory = false;
  bool IsRegular = false;
  bool IsLink = false;         // the path itself is a symbolic link
  bool ReadOnly = false;       // none of the three write bits is set
  uint32_t PackedTime = 0;     // last-write time, local, packed
  uint64_t Size = 0;
  unsigned Mode = 0;           // permission bits
  uint64_t Device = 0, Inode = 0;
};
/// Facts of `path`, following symbolic links; Exists is false when the path
/// (or the link's target) does not exist.
PathFacts StatPath(const std::string& path);
/// Facts of `path` itself, not following a final symbolic link.
PathFacts StatLink(const std::string& path);
/// The target a symbolic link names, resolved against the link's directory
/// when relative; empty on failure.
std::string LinkTarget(const std::string& path);

/// Renames `from` over `to`; false with `error` set on failure.
bool RenameOver(const std::string& from, const std::string& to, int& error);
/// Removes a file; failures are ignored (used to clean up).
void RemoveFile(const std::string& name);
/// Sets the permission bits of an open file (best effort).
void SetMode(Handle h, unsigned mode);
/// A number unique to this process, for temporary names.
long ProcessId();

/// Kind of a directory entry as the listing reports it without a stat.
enum class EntryKind { File, Directory, Link, Special, Unknown };

/// One open directory stream.
struct DirStream;
/// Opens a directory for listing ("" is the current directory). On failure
/// returns nullptr and sets `error` (3 missing, 5 access denied, ...).
DirStream* OpenDirStream(const std::string& path, int& error);
/// The next entry: false at the end. `name` stays valid until the next call.
bool NextDirEntry(DirStream* d, const char*& name, EntryKind& kind);
/// Facts of the named entry of an open stream, links followed.
PathFacts StatInDirStream(DirStream* d, const char* name);
/// Closes the stream.
void CloseDirStream(DirStream* d);

/// Maps the platform's error number to the runtime error number. `path`,
/// when given, tells "path not found" (3) from "file not found" (2).
int MapError(int platformError, const std::string* path = nullptr);

/// Ends the process at once with `code`, without further clean-up.
[[noreturn]] void ExitNow(int code);

/// Fills `out` with up to `max` return addresses of the current call chain,
/// innermost first, as offsets from the executable's load base. Returns the
/// count.
int CallChain(uint64_t* out, int max, int skip);

/// Runs `fn` when the heap cannot satisfy an allocation.
void OnHeapExhausted(void (*fn)());

}  // namespace ehi::sys
