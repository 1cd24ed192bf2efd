// Helpers shared by tests: temporary directories and whole-file access.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace ehi::test {

/// A fresh temporary directory, removed with its contents on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  /// The directory's path, without a trailing "/".
  const std::string& Path() const { return path_; }
  /// Path of `name` inside the directory.
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

/// Writes `content` to `path`, creating or replacing the file.
void WriteFile(const std::string& path, const std::string& content);
/// The whole content of `path` ("" when missing).
std::string ReadFile(const std::string& path);
/// Creates a directory (and its parents).
void MakeDirs(const std::string& path);

/// The text a death test sees of `expected` written by the child to its
/// error stream (a regular expression too): Windows' capture reads it back
/// as text, so CR LF arrives there as LF.
std::string Captured(const std::string& expected);

/// A death test's matcher: what the child wrote to its error stream
/// contains a match of the ECMAScript regular expression `regex` (CR LF
/// taken as Captured gives it), on every system alike.
::testing::Matcher<const std::string&> Output(const std::string& regex);

/// Makes the process's standard input the null device: read, it ends at
/// once.
void EmptyStandardInput();

/// A copy of the program `exe` in a fresh folder that every user may enter
/// (mode 0755 all the way up), so a test that drops to an unprivileged user
/// can run it whatever folder the project was cloned into; "" when it
/// cannot be made. The copy lives until the test binary ends.
std::string ReachableCopy(const std::string& exe);

/// The user and group a test may drop to when it runs as root.
constexpr unsigned kNobody = 65534;

/// Whether every folder from the root down to `dir` lets other users
/// through, so that another user may reach `dir` by its path.
bool ReachableByOthers(const std::string& dir);

/// Runs `fn` in a child process as an ordinary user: the tests' own user,
/// or nobody when the tests run as root (root may read anything). Returns
/// what `fn` returned (0..254), or -1 when the child could not become that
/// user or did not end normally.
int AsOrdinaryUser(const std::function<int()>& fn);

/// Turns off the leak check at the end of the programs started from here on
/// (in a sanitizer build it needs a thread of its own, which a program at
/// the process limit cannot have); returns the sanitizer options as they
/// were.
std::string NoLeakCheckAtExit();

/// Changes the working directory for the lifetime of the object.
class ScopedCwd {
 public:
  explicit ScopedCwd(const std::string& dir);
  ~ScopedCwd();

 private:
  std::string old_;
};

/// What a finished child process left.
struct RunResult {
  int Status = -1;   // exit code, or 128 + the signal that ended it
  std::string Out;   // its standard output
  std::string Err;   // its standard error
};

/// Runs `exe` with `args` in `dir`, in a new session (so without a
/// controlling terminal: console text goes to standard output), with no
/// input. `inChild` runs in the child just before the program starts (to
/// set limits or drop privileges). The child is killed after 60 seconds.
RunResult RunProgram(const std::string& exe, const std::string& dir,
                     const std::vector<std::string>& args = {},
                     const std::function<void()>& inChild = {});

/// A program running on a pseudo-terminal (80 x 25 unless told otherwise,
/// as in a terminal window), started in `dir` with `args`; killed if still
/// running at the end.
class PtyProgram {
 public:
  PtyProgram(const std::string& exe, const std::vector<std::string>& args,
             const std::string& dir = ".", int cols = 80, int rows = 25);
  ~PtyProgram();
  PtyProgram(const PtyProgram&) = delete;
  PtyProgram& operator=(const PtyProgram&) = delete;
  /// Reads the terminal until `needle` has appeared at or after offset
  /// `from` of Out (true) or `ms` passed. Status requests (ESC [ 5 n) read
  /// are answered as a terminal answers them.
  bool ReadUntil(const std::string& needle, int ms = 5000, size_t from = 0);
  /// Waits for the program's end, reading all it writes.
  void Finish();
  /// Sends bytes as if typed at the terminal.
  void Type(const std::string& bytes);
  /// Changes the terminal's size (the program gets SIGWINCH).
  void Resize(int cols, int rows);
  /// Waits up to `ms` for the program to end without reading the terminal
  /// (for when it is gone); true when it ended, WaitStatus then set.
  bool WaitForEnd(int ms = 10000);

  int Master = -1;
  int Pid = -1;
  std::string Out;      // everything written to the terminal
  int WaitStatus = -1;  // as waitpid gives it, once finished

 private:
  size_t answered_ = 0;  // Out up to here has had its status requests answered
};

/// The source file and line that `addr2line` gives for a position of a
/// runtime error report (eight hexadecimal digits) in `exe`; "" when
/// addr2line cannot be run.
std::string SourceLineOf(const std::string& exe, const std::string& hexOffset);

/// Whether the terminal's settings equal those of a fresh pseudo-terminal.
bool HasDefaultModes(int master);

}  // namespace ehi::test
