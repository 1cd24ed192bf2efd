// The thin layer over the operating system. Everything that calls the
// system lives behind these declarations, implemented once for POSIX
// (platform_posix.cpp, replace_posix.cpp) and once for Windows
// (platform_win32.cpp, replace_win32.cpp), so the rest of the system speaks
// only of opaque handles, names and runtime error numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "codes.h"

namespace ehi::sys {

/// An open file of the platform (a descriptor on POSIX, a HANDLE on
/// Windows): an opaque value that only the platform files look inside.
class Handle {
 public:
  constexpr Handle() = default;
  /// For the platform files: wraps the platform's own value.
  explicit constexpr Handle(intptr_t raw) : raw_(raw) {}
  /// For the platform files: the platform's own value.
  constexpr intptr_t Raw() const { return raw_; }
  /// The same file.
  friend constexpr bool operator==(Handle a, Handle b) { return a.raw_ == b.raw_; }

 private:
  intptr_t raw_ = -1;
};
/// No open file.
constexpr Handle kNoHandle{};

/// The program's arguments after its name, as bytes (UTF-8, as every name
/// inside the program): on Windows read from the wide command line, since
/// the narrow `argv` holds look-alikes of characters the code page lacks.
std::vector<std::string> ProgramArguments(int argc, char** argv);

/// The process's standard streams.
enum class StandardStream { Input, Output, Error };
/// The handle of a standard stream (never closed by CloseHandle).
Handle StandardHandle(StandardStream which);

/// Opens the null device in place of a closed standard input or standard
/// error, so that nothing the program opens later (the terminal) takes its
/// place and receives what is meant for it. Returns false when standard
/// output is closed. Programs call it first, before anything is opened.
bool SecureStandardStreams();

/// The controlling terminal opened for writing, or kNoHandle when the
/// process has none. Opened once and kept for the whole run.
Handle TerminalOutput();
/// The controlling terminal opened for reading, as TerminalOutput.
Handle TerminalInput();

/// Opens an existing file for reading. On failure returns kNoHandle and sets
/// `error` to the runtime error number. A directory is refused with 5.
Handle OpenForReading(const std::string& name, int& error);
/// Like OpenForReading, but never waits at the open and gives only a regular
/// file: anything else (a FIFO, a device, a socket, a folder, also one
/// swapped in after a listing, whether or not it could be opened) is
/// reported through `notRegular` with kNoHandle and no error. A name that
/// is gone or a link that leads nowhere is "file not found" (2; 3 when its
/// folder is gone too). `size`, when given, receives the file's size as the
/// open found it.
Handle OpenRegularForReading(const std::string& name, int& error, bool& notRegular,
                             uint64_t* size = nullptr);
/// Creates or truncates a file for writing; as OpenForReading on failure.
Handle OpenForWriting(const std::string& name, int& error);

/// Reads up to `size` bytes, waiting for data on a pipe or device. Returns
/// the count (0 at end of file or on a broken pipe), or -1 with `error` set.
long ReadSome(Handle h, char* buffer, size_t size, int& error);
/// What ReadWithoutWaiting returns for a read that would have to wait.
constexpr long kReadWouldWait = -2;
/// Like ReadSome, but never waits for data that is not there yet (a file
/// that gives its content only as it comes, opened by OpenRegular...):
/// then it returns kReadWouldWait. For reading ahead of a reader, whose
/// wait it must not take on.
long ReadWithoutWaiting(Handle h, char* buffer, size_t size, int& error);
/// Writes all bytes; false when a write fails or writes fewer bytes.
bool WriteAll(Handle h, const char* data, size_t size);
/// Closes a handle; false on failure. Standard handles stay open.
bool CloseHandle(Handle h);
/// True when a read of `h` would not wait: data, its end or an error is
/// there.
bool InputReady(Handle h);
/// True when the handle is a character device (a terminal).
bool IsCharacterDevice(Handle h);

/// The earliest packed time there is: 1980-01-01 00:00:00.
constexpr uint32_t kEarliestPackedTime = (1u << 21) | (1u << 16);

/// What the file system says of one path (links followed).
struct PathFacts {
  /// Whether the path names something (links followed).
  bool Exists = false;
  /// Its attribute bits: directory, read-only, and system for anything that
  /// is neither a plain file nor a directory (also what does not exist).
  uint32_t Attr = kAttrSystem;
  /// The last-write time, local, packed.
  uint32_t PackedTime = 0;
  /// The size in bytes.
  uint64_t Size = 0;
  ///@{
  /// Together, what the file is, whatever the path to it: a folder reached
  /// twice (through a link) has the same pair.
  uint64_t Device = 0, Inode = 0;
  ///@}
};
/// Facts of `path`, following symbolic links; Exists is false when the path
/// (or the link's target) does not exist.
PathFacts StatPath(const std::string& path);

/// Whether every symbolic link on the way from `path` to the file it names
/// may be followed: each link must belong to the user running the program
/// or to the administrator, and the chain must end in an existing file. A
/// path that is no link may always be used.
bool MayFollowLinks(const std::string& path);

/// An all-or-nothing replacement of one file, in progress.
struct Replacement;
/// Starts replacing the file `name` with the bytes written to the returned
/// handle. Links are followed only as MayFollowLinks allows; a target that
/// is read-only, not writable by this user or not a regular file is refused
/// with 5. The new content goes to an unnamed or hidden temporary file
/// beside the target, created with the target's permission bits and group;
/// when no file can be created there, the target itself is rewritten in
/// place. On failure returns kNoHandle with `error` set.
Handle BeginReplace(const std::string& name, Replacement*& job, int& error);
/// Puts the written content in place of the target (flushed to disk first)
/// and ends the job; false with `error` set when that fails, the target then
/// left as it was.
bool CommitReplace(Replacement* job, int& error);
/// Abandons the job: the temporary file goes, the target stays as it was.
void AbortReplace(Replacement* job);

/// How many files the process may have open at once (a large number when
/// there is no limit).
long OpenFileLimit();
/// How many more files the process may open now: the limit less the
/// descriptors already open (inherited ones too).
long FreeDescriptors();

/// Makes a write past the process's file-size limit fail like a full disk
/// instead of ending the process with a signal.
void IgnoreFileSizeSignal();

/// One entry of a directory stream, as the platform reports it.
struct DirEntry {
  /// The name; valid until the next call.
  const char* Name = nullptr;
  /// Attribute bits known from the listing itself: hidden, system,
  /// directory.
  uint32_t Attr = 0;
  /// The listing could not tell what the entry is (a link, or a file system
  /// without entry types): look the entry up (StatInDirStream) before
  /// trusting Attr's directory and system bits.
  bool Unresolved = false;
};

/// One open directory stream.
struct DirStream;
/// Opens a directory for listing ("" is the current directory). On failure
/// returns nullptr and sets `error` (3 missing, 5 access denied, ...).
DirStream* OpenDirStream(const std::string& path, int& error);
/// The next entry: false at the end, or with `error` set when reading the
/// directory failed part-way.
bool NextDirEntry(DirStream* d, DirEntry& entry, int& error);
/// `dir` (a folder part with its trailing separator, "" for the current
/// folder) as a path that means the same folder whatever the current folder
/// is later; `dir` itself when that cannot be found out.
std::string AnchoredFolder(const std::string& dir);
/// OpenRegularForReading of `path`, whose last part names an entry of the
/// folder listed by `d`: the folder is not looked up again where the
/// system can help it.
Handle OpenRegularInDirStream(DirStream* d, const std::string& path, int& error, bool& notRegular,
                              uint64_t* size = nullptr);
/// Facts of the named entry of an open stream, links followed.
PathFacts StatInDirStream(DirStream* d, const char* name);
/// Closes the stream.
void CloseDirStream(DirStream* d);
/// Whether `c` separates folders in a path: "/" everywhere, and "\\" too
/// on Windows. On POSIX "\\" is a character of a name like any other.
bool IsFolderSeparator(char c);
/// A path or mask as a user typed it, where "\\" may separate folders as
/// on Windows, in the form the other calls take: on POSIX every "\\"
/// becomes "/" (so a typed mask cannot name a file with "\\" in its name
/// there); Windows takes it as it is.
std::string TypedPath(std::string_view typed);
/// Whether the file system takes names without regard to letter case
/// (Windows), so that masks match that way too.
bool NamesIgnoreCase();

/// Ends the process at once with `code`, without further clean-up.
[[noreturn]] void ExitNow(int code);

/// Fills `out` with up to `max` return addresses of the current call chain,
/// innermost first, as offsets from the executable's load base. Returns the
/// count.
int CallChain(uint64_t* out, int max, int skip);

/// A return address as an offset from the executable's load base, as
/// CallChain gives the positions of a call chain.
uint64_t CodeOffset(const void* returnAddress);

/// Runs `fn` when the heap cannot satisfy an allocation.
void OnHeapExhausted(void (*fn)());

/// Asks for the memory of [start, start + size) to be backed by large pages
/// where the system gives them without privileges, so that filling a large
/// table takes a fault per large page instead of one per small page. Only a
/// hint: nothing changes where the system declines.
void PreferLargePages(void* start, size_t size);

}  // namespace ehi::sys
