// Line-oriented text files with the system's exact reading and writing
// rules, and the I/O-check convention: every operation records a failure in
// IoError, and CheckIo turns a pending failure into a runtime error.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform.h"
#include "shortstring.h"

namespace ehi {

/// The state of a text file. Unassigned is a file AssignText never prepared.
enum class TextMode : uint8_t { Unassigned = 0, Closed, Input, Output };

/// Where a file's output goes instead of a descriptor (the console screen).
using TextSink = void (*)(const char* data, size_t size);
/// Where a file's input comes from instead of a handle (line input, bytes
/// read ahead): fills up to `size` bytes, returns the count (0 at the end).
/// It carries its own context.
using TextSource = std::function<long(char* buffer, size_t size)>;

/// One open or closed text file.
struct TextFile {
  /// The open file, or kNoHandle.
  sys::Handle Handle = sys::kNoHandle;
  /// Closed, open for reading or for writing.
  TextMode Mode = TextMode::Unassigned;
  /// Size of the buffer in bytes.
  int32_t BufSize = 0;
  /// Next byte to read or write in the buffer.
  int32_t BufPos = 0;
  /// End of the bytes read into the buffer.
  int32_t BufEnd = 0;
  /// The file's name ("" for the standard stream).
  std::string Name;
  /// What a written line ends with (CR LF unless changed).
  ShortString<3> LineEnd;
  /// Set when every write statement must reach the platform at once.
  bool WriteThrough = false;
  /// The buffer, BufSize bytes.
  std::unique_ptr<char[]> Buffer;

  /// Output goes here instead of to Handle when set.
  TextSink Sink = nullptr;
  /// Input comes from here instead of from Handle when set.
  TextSource Source;
  /// ... and then from Handle, when set too.
  bool SourceFirst = false;
  /// The replacement the output makes of Name on CloseText, when open with
  /// OpenTextReplace.
  sys::Replacement* Replace = nullptr;
  /// Set before OpenTextRead to accept only a regular file: anything else
  /// is not opened, without an error, and NotRegular tells so.
  bool RegularOnly = false;
  /// After OpenTextRead with RegularOnly: the name was no regular file.
  bool NotRegular = false;
};

/// The pending I/O error, 0 when none.
extern uint16_t IoError;

/// Console text output (the terminal; standard output when there is none).
extern TextFile ConsoleOutput;
/// Console keyboard input, one edited line at a time.
extern TextFile ConsoleInput;
/// The process's standard output; receives the runtime error report.
extern TextFile StandardOutput;

/// Size of the block a disk file is read and written in. Tests shrink it.
extern int32_t TextBlockSize;

/// Turns a pending IoError into a runtime error (clearing it first).
void CheckIo();

/// Prepares `f` closed, with line end CR LF and `name`.
void AssignText(TextFile& f, std::string_view name);
/// Opens the named file for reading from its start ("" = standard input).
void OpenTextRead(TextFile& f);
/// Opens `f` for reading from `source` instead of a file (bytes read
/// beforehand); the reading rules are those of a file. When `rest` is an
/// open file (the one the bytes came from), the reading goes on there once
/// the source gives nothing more, and CloseText closes it.
void OpenTextSource(TextFile& f, TextSource source, sys::Handle rest = sys::kNoHandle);
/// Creates or truncates the named file for writing ("" = standard output).
void OpenTextWrite(TextFile& f);
/// Like OpenTextWrite, but the output replaces the file only when CloseText
/// succeeds (sys::BeginReplace tells the rules: links, permissions, the
/// temporary file); a failure at any step leaves the file as it was.
void OpenTextReplace(TextFile& f);
/// Writes pending output and closes.
void CloseText(TextFile& f);

/// Reads characters of the current line up to `capacity`; the line end is
/// not consumed.
void ReadTextString(TextFile& f, char* dest, uint8_t& len, int capacity);
/// Reads characters of the current line into `s`, its capacity at most;
/// the line end is not consumed.
template <int N>
void ReadTextString(TextFile& f, ShortString<N>& s) {
  ReadTextString(f, s.Chars, s.Len, N);
}
/// Skips the rest of the current line and its line end.
void SkipTextLine(TextFile& f);
/// Reads a line into `s` (its capacity at most), then skips the rest.
template <int N>
void ReadTextLine(TextFile& f, ShortString<N>& s) {
  ReadTextString(f, s.Chars, s.Len, N);
  SkipTextLine(f);
}
/// The next character, consumed; 26 at end of file (nothing consumed).
void ReadTextChar(TextFile& f, char& c);
/// The next character without consuming it; 26 at end of file.
char PeekTextChar(TextFile& f);
/// Reads one blank-separated number (106 on an invalid or missing one).
void ReadTextReal(TextFile& f, long double& x);
/// True at end of file or before a Ctrl-Z.
bool TextAtEnd(TextFile& f);

/// Writes `s` right-aligned in `width`.
void WriteTextString(TextFile& f, std::string_view s, int width = 0);
/// Writes the decimal `value` right-aligned in `width`.
void WriteTextInteger(TextFile& f, int32_t value, int width = 0);
/// Writes `c` right-aligned in `width`.
void WriteTextChar(TextFile& f, char c, int width = 0);
/// Writes the 23-character form of `x`.
void WriteTextReal(TextFile& f, double x);
/// Writes the line end CR LF.
void EndTextLine(TextFile& f);

/// Writes one statement's worth of text and a line end, then checks.
void WriteLine(TextFile& f, std::string_view s);

/// Prepares the standard text files; part of InitServices.
void InitStandardFiles();
/// Routes output of `f` to `sink` (the console screen) instead of its handle.
void SetTextSink(TextFile& f, TextSink sink);
/// Routes input of `f` from `source` (console line input).
void SetTextSource(TextFile& f, TextSource source);
/// Points an open standard file at another descriptor (tests send console
/// and standard output to the error stream this way).
void RedirectTextFile(TextFile& f, sys::Handle h);

}  // namespace ehi
