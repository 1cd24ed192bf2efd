#include "textfile.h"

#include <cstring>

#include "codes.h"
#include "compiler.h"
#include "numconv.h"
#include "process.h"

namespace ehi {

uint16_t IoError = 0;
TextFile ConsoleOutput;
TextFile ConsoleInput;
TextFile StandardOutput;
int32_t TextBlockSize = 65536;

namespace {

constexpr char kCtrlZ = 26;

// Index of the first CR or LF in buf[from, to), or `to`. Looks at eight
// bytes at a time: the harvest reads every byte of every file through here.
int32_t FindLineEnd(const char* buf, int32_t from, int32_t to) {
  constexpr uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
  int32_t i = from;
  for (; i + 8 <= to; i += 8) {
    uint64_t v;
    std::memcpy(&v, buf + i, 8);
    uint64_t lf = v ^ (kOnes * '\n'), cr = v ^ (kOnes * '\r');
    if (((lf - kOnes) & ~lf & kHighs) | ((cr - kOnes) & ~cr & kHighs)) break;
  }
  while (i < to && buf[i] != '\r' && buf[i] != '\n') ++i;
  return i;
}

void SetError(int n) {
  if (IoError == 0) IoError = uint16_t(n);
}

// Allocates the buffer once per file object and keeps it across opens.
void PrepareBuffer(TextFile& f, int32_t size) {
  if (!f.Buffer || f.BufSize != size) {
    f.Buffer = std::make_unique_for_overwrite<char[]>(size_t(size));
    f.BufSize = size;
  }
  f.BufPos = 0;
  f.BufEnd = 0;
}

bool CanRead(TextFile& f) {
  if (IoError != 0) return false;
  if (f.Mode == TextMode::Input) return true;
  SetError(f.Mode == TextMode::Output ? rte::kFileNotOpenForInput : rte::kFileNotOpen);
  return false;
}

bool CanWrite(TextFile& f) {
  if (IoError != 0) return false;
  if (f.Mode == TextMode::Output) return true;
  SetError(f.Mode == TextMode::Input ? rte::kFileNotOpenForOutput : rte::kFileNotOpen);
  return false;
}

// Refills an exhausted input buffer. False when no byte is available (end
// of file, or a read error, which is then pending in IoError).
bool Fill(TextFile& f) {
  if (f.BufPos < f.BufEnd) return true;
  f.BufPos = 0;
  f.BufEnd = 0;
  long n = 0;
  if (f.Source) {
    n = f.Source(f.Buffer.get(), size_t(f.BufSize));
    // Bytes read beforehand come first; the file they came from, when it
    // is still open, goes on from where they end.
    if (n <= 0 && f.SourceFirst) {
      f.Source = nullptr;
      f.SourceFirst = false;
    }
  }
  if (!f.Source) {
    int err = 0;
    n = sys::ReadSome(f.Handle, f.Buffer.get(), size_t(f.BufSize), err);
    if (n < 0) {
      SetError(err);
      return false;
    }
  }
  f.BufEnd = int32_t(n > 0 ? n : 0);
  return f.BufEnd > 0;
}

void DiscardTemporary(TextFile& f) {
  if (!f.Replace) return;
  sys::AbortReplace(f.Replace);  // closes the handle too
  f.Replace = nullptr;
  f.Handle = sys::kNoHandle;
  f.Mode = TextMode::Closed;
}

// Writes the buffered output to the platform; 101 on any failure.
void Flush(TextFile& f) {
  if (f.BufPos == 0) return;
  const char* data = f.Buffer.get();
  size_t size = size_t(f.BufPos);
  f.BufPos = 0;
  if (f.Sink) {
    f.Sink(data, size);
    return;
  }
  if (!sys::WriteAll(f.Handle, data, size)) {
    SetError(rte::kDiskWrite);
    DiscardTemporary(f);
  }
}

void Put(TextFile& f, const char* data, size_t size) {
  while (size > 0 && IoError == 0 && f.Mode == TextMode::Output) {
    size_t room = size_t(f.BufSize - f.BufPos);
    size_t n = size < room ? size : room;
    std::memcpy(f.Buffer.get() + f.BufPos, data, n);
    f.BufPos += int32_t(n);
    data += n;
    size -= n;
    if (f.BufPos == f.BufSize) Flush(f);
  }
}

void PutBlanks(TextFile& f, int count) {
  static const char kBlanks[64] = {
      ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
      ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
      ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
      ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
      ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
  while (count > 0) {
    int n = count < 64 ? count : 64;
    Put(f, kBlanks, size_t(n));
    count -= n;
  }
}

void EndStatement(TextFile& f) {
  if (f.WriteThrough && IoError == 0 && f.Mode == TextMode::Output) Flush(f);
}

// Closes whatever the file has open, without touching IoError's rules.
void CloseQuietly(TextFile& f) {
  if (f.Mode == TextMode::Output) Flush(f);
  if (f.Replace) {
    DiscardTemporary(f);
  } else if (f.Handle != sys::kNoHandle && !f.Sink) {
    sys::CloseHandle(f.Handle);
  }
  f.Handle = sys::kNoHandle;
  f.Mode = TextMode::Closed;
}

// Common start of the opening operations: refuse an unprepared file, close
// an open one, empty the buffer.
bool BeginOpen(TextFile& f) {
  if (IoError != 0) return false;
  if (f.Mode == TextMode::Unassigned) {
    SetError(rte::kFileNotAssigned);
    return false;
  }
  if (f.Mode != TextMode::Closed) CloseQuietly(f);
  PrepareBuffer(f, TextBlockSize);
  f.NotRegular = false;  // each opening tells anew
  return true;
}

}  // namespace

// Out of line, so that the report can start at the statement that called
// it.
EHI_NOINLINE void CheckIo() {
  if (IoError == 0) return;
  int n = IoError;
  IoError = 0;
  RuntimeErrorAt(n, EHI_RETURN_ADDRESS());
}

void AssignText(TextFile& f, std::string_view name) {
  if (f.Mode == TextMode::Input || f.Mode == TextMode::Output) CloseQuietly(f);
  f.Handle = sys::kNoHandle;
  f.Mode = TextMode::Closed;
  f.BufPos = f.BufEnd = 0;
  f.Name.assign(name.substr(0, 255));
  f.LineEnd = "\r\n";
  f.WriteThrough = false;
  f.Sink = nullptr;
  f.Source = nullptr;
  f.SourceFirst = false;
  DiscardTemporary(f);
}

void OpenTextRead(TextFile& f) {
  if (!BeginOpen(f)) return;
  if (f.Name.empty()) {
    f.Handle = sys::StandardHandle(sys::StandardStream::Input);
  } else {
    int err = 0;
    f.Handle = f.RegularOnly ? sys::OpenRegularForReading(f.Name, err, f.NotRegular)
                             : sys::OpenForReading(f.Name, err);
    if (f.NotRegular) {
      f.Mode = TextMode::Closed;
      return;
    }
    if (f.Handle == sys::kNoHandle) {
      SetError(err);
      f.Mode = TextMode::Closed;
      return;
    }
  }
  f.Mode = TextMode::Input;
}

void OpenTextSource(TextFile& f, TextSource source, sys::Handle rest) {
  if (!BeginOpen(f)) {
    if (rest != sys::kNoHandle) sys::CloseHandle(rest);
    return;
  }
  f.Handle = rest;
  f.Source = std::move(source);
  f.SourceFirst = rest != sys::kNoHandle;
  f.Mode = TextMode::Input;
}

void OpenTextWrite(TextFile& f) {
  if (!BeginOpen(f)) return;
  if (f.Name.empty()) {
    f.Handle = sys::StandardHandle(sys::StandardStream::Output);
  } else {
    int err = 0;
    f.Handle = sys::OpenForWriting(f.Name, err);
    if (f.Handle == sys::kNoHandle) {
      SetError(err);
      f.Mode = TextMode::Closed;
      return;
    }
  }
  f.WriteThrough = sys::IsCharacterDevice(f.Handle);
  f.Mode = TextMode::Output;
}

void OpenTextReplace(TextFile& f) {
  if (!BeginOpen(f)) return;
  int err = 0;
  f.Handle = sys::BeginReplace(f.Name, f.Replace, err);
  if (f.Handle == sys::kNoHandle) {
    SetError(err);
    f.Mode = TextMode::Closed;
    return;
  }
  f.WriteThrough = false;
  f.Mode = TextMode::Output;
}

void CloseText(TextFile& f) {
  if (IoError != 0) return;
  if (f.Mode != TextMode::Input && f.Mode != TextMode::Output) {
    SetError(rte::kFileNotOpen);
    return;
  }
  if (f.Mode == TextMode::Output) {
    Flush(f);
    if (IoError != 0) {
      CloseQuietly(f);
      return;
    }
  }
  if (f.Replace) {
    int err = 0;
    if (!sys::CommitReplace(f.Replace, err)) SetError(err);
    f.Replace = nullptr;  // committed or abandoned: the job is over
  } else if (f.Handle != sys::kNoHandle && !f.Sink &&
             !sys::CloseHandle(f.Handle)) {
    SetError(rte::kDiskWrite);
  }
  f.Handle = sys::kNoHandle;
  f.Mode = TextMode::Closed;
  f.BufPos = f.BufEnd = 0;
}

void ReadTextString(TextFile& f, char* dest, uint8_t& len, int capacity) {
  len = 0;
  if (!CanRead(f)) return;
  int n = 0;
  while (n < capacity && Fill(f)) {
    const char* buf = f.Buffer.get();
    int32_t pos = f.BufPos;
    int32_t stop = f.BufEnd;
    if (stop - pos > capacity - n) stop = pos + (capacity - n);
    int32_t i = FindLineEnd(buf, pos, stop);
    std::memcpy(dest + n, buf + pos, size_t(i - pos));
    n += i - pos;
    f.BufPos = i;
    if (i < stop) break;  // a line end is next
  }
  len = uint8_t(n);
}

void SkipTextLine(TextFile& f) {
  if (!CanRead(f)) return;
  while (Fill(f)) {
    const char* buf = f.Buffer.get();
    int32_t i = f.BufPos;
    const int32_t end = f.BufEnd;
    while (i < end && buf[i] != '\r' && buf[i] != '\n' && buf[i] != kCtrlZ) ++i;
    f.BufPos = i;
    if (i == end) continue;  // refill and go on
    char c = buf[i];
    if (c == kCtrlZ) return;  // never consumed
    f.BufPos = i + 1;
    if (c == '\r' && Fill(f) && f.Buffer[size_t(f.BufPos)] == '\n') ++f.BufPos;
    return;
  }
}

void ReadTextChar(TextFile& f, char& c) {
  c = kCtrlZ;
  if (!CanRead(f)) return;
  if (!Fill(f)) return;
  c = f.Buffer[size_t(f.BufPos++)];
}

char PeekTextChar(TextFile& f) {
  if (!CanRead(f) || !Fill(f)) return kCtrlZ;
  return f.Buffer[size_t(f.BufPos)];
}

void ReadTextReal(TextFile& f, long double& x) {
  x = 0;
  if (!CanRead(f)) return;
  char token[256];
  int n = 0;
  if (Fill(f) && f.Buffer[size_t(f.BufPos)] != kCtrlZ) {
    for (;;) {
      if (!Fill(f)) return;  // only blanks were left: 0, no error
      unsigned char c = static_cast<unsigned char>(f.Buffer[size_t(f.BufPos)]);
      if (c > 32 || c == kCtrlZ) break;
      ++f.BufPos;
    }
    while (n < 255 && Fill(f)) {
      char c = f.Buffer[size_t(f.BufPos)];
      if (static_cast<unsigned char>(c) <= 32 || c == kCtrlZ) break;
      token[n++] = c;
      ++f.BufPos;
    }
  }
  if (IoError != 0) return;
  int errorPos = 0;
  long double v = TextToReal(std::string_view(token, size_t(n)), errorPos);
  if (errorPos != 0) {
    SetError(rte::kInvalidNumber);
    return;
  }
  x = v;
}

bool TextAtEnd(TextFile& f) {
  if (!CanRead(f)) return true;
  if (!Fill(f)) return true;
  return f.Buffer[size_t(f.BufPos)] == kCtrlZ;
}

void WriteTextString(TextFile& f, std::string_view s, int width) {
  if (!CanWrite(f)) return;
  if (width > int(s.size())) PutBlanks(f, width - int(s.size()));
  Put(f, s.data(), s.size());
  EndStatement(f);
}

void WriteTextInteger(TextFile& f, int32_t value, int width) {
  // Padded like a string, never cut: a width past 255 keeps the digits.
  WriteTextString(f, IntegerToText(value, 0).View(), width);
}

void WriteTextChar(TextFile& f, char c, int width) {
  if (!CanWrite(f)) return;
  if (width > 1) PutBlanks(f, width - 1);
  Put(f, &c, 1);
  EndStatement(f);
}

void WriteTextReal(TextFile& f, double x) {
  WriteTextString(f, RealToText(x).View(), 0);
}

void EndTextLine(TextFile& f) {
  if (!CanWrite(f)) return;
  Put(f, f.LineEnd.Chars, f.LineEnd.Len);
  EndStatement(f);
}

void WriteLine(TextFile& f, std::string_view s) {
  WriteTextString(f, s, 0);
  EndTextLine(f);
  CheckIo();
}

void SetTextSink(TextFile& f, TextSink sink) { f.Sink = sink; }
void SetTextSource(TextFile& f, TextSource source) { f.Source = std::move(source); }

void RedirectTextFile(TextFile& f, sys::Handle h) {
  f.Handle = h;
  f.Sink = nullptr;
  f.WriteThrough = true;
}

void InitStandardFiles() {
  AssignText(StandardOutput, "");
  PrepareBuffer(StandardOutput, 4096);
  StandardOutput.Handle = sys::StandardHandle(sys::StandardStream::Output);
  StandardOutput.Mode = TextMode::Output;
  StandardOutput.WriteThrough = true;

  // The console is the controlling terminal, not a redirected standard
  // output; a process without a terminal writes to standard output instead.
  AssignText(ConsoleOutput, "");
  PrepareBuffer(ConsoleOutput, 4096);
  sys::Handle tty = sys::TerminalOutput();
  ConsoleOutput.Handle = tty != sys::kNoHandle ? tty : sys::StandardHandle(sys::StandardStream::Output);
  ConsoleOutput.Mode = TextMode::Output;
  ConsoleOutput.WriteThrough = true;

  AssignText(ConsoleInput, "");
  PrepareBuffer(ConsoleInput, 256);
  sys::Handle ttyIn = sys::TerminalInput();
  ConsoleInput.Handle = ttyIn != sys::kNoHandle ? ttyIn : sys::StandardHandle(sys::StandardStream::Input);
  ConsoleInput.Mode = TextMode::Input;
}

}  // namespace ehi
