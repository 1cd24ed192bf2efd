// A test program for Windows consoles: runs a program in this console and
// plays a script of console input records into the console's input buffer
// (WriteConsoleInputA), as a user's mouse and keyboard would, reading the
// screen's cells to know when to go on. It ends with the program's exit
// status, or 90 when the console's input mode was not put back.
//
// usage: console_inject PROGRAM [ARGS...] -- STEP...
//   wait:TEXT          until TEXT shows anywhere on the screen (20 s), its
//                      characters compared with the cells' own
//   gone:TEXT          until TEXT shows nowhere on the screen (20 s)
//   cell:X,Y,C         until the cell at column X, row Y (1-based) holds C
//   cellrow:TEXT,X,C   until column X of the first row showing TEXT holds C
//   file:PATH          until the file PATH exists (60 s)
//   click:X,Y          left button down and up at column X, row Y
//   clickrow:TEXT,X    the same at column X of the first row showing TEXT
//   key:C              the key of character C down and up (key:Enter: Enter)
//   type:TEXT          each UTF-16 unit of TEXT as a key typed, as a keyboard
//                      layout or an input method gives it
//   dump:PATH          the window's cells, once they stay the same for 300 ms,
//                      into PATH, row by row in UTF-8: a wide character once
//                      for its leading and trailing halves (U+FFFD for a
//                      half without its other half)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

HANDLE out, in;

std::vector<std::string> ScreenRows() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  std::vector<std::string> rows;
  if (!::GetConsoleScreenBufferInfo(out, &info)) return rows;
  const SHORT width = SHORT(info.srWindow.Right - info.srWindow.Left + 1);
  for (SHORT y = info.srWindow.Top; y <= info.srWindow.Bottom; ++y) {
    std::string row(size_t(width), ' ');
    DWORD got = 0;
    ::ReadConsoleOutputCharacterA(out, row.data(), DWORD(width), COORD{info.srWindow.Left, y},
                                  &got);
    rows.push_back(row);
  }
  return rows;
}

int RowOf(const std::string& text) {
  const std::vector<std::string> rows = ScreenRows();
  for (size_t i = 0; i < rows.size(); ++i)
    if (rows[i].find(text) != std::string::npos) return int(i) + 1;
  return 0;
}

template <typename Done>
bool Until(Done done, int seconds) {
  for (int i = 0; i < seconds * 20; ++i) {
    if (done()) return true;
    ::Sleep(50);
  }
  return false;
}

void Send(const INPUT_RECORD& r) {
  DWORD written = 0;
  ::WriteConsoleInputA(in, &r, 1, &written);
}

void Click(int x, int y) {
  INPUT_RECORD r = {};
  r.EventType = MOUSE_EVENT;
  r.Event.MouseEvent.dwMousePosition = COORD{SHORT(x - 1), SHORT(y - 1)};
  r.Event.MouseEvent.dwButtonState = FROM_LEFT_1ST_BUTTON_PRESSED;
  Send(r);
  ::Sleep(100);
  r.Event.MouseEvent.dwButtonState = 0;
  Send(r);
}

void Key(char c) {
  INPUT_RECORD r = {};
  r.EventType = KEY_EVENT;
  r.Event.KeyEvent.bKeyDown = TRUE;
  r.Event.KeyEvent.wRepeatCount = 1;
  const SHORT vk = ::VkKeyScanA(c);
  r.Event.KeyEvent.wVirtualKeyCode = WORD(vk & 0xFF);
  r.Event.KeyEvent.wVirtualScanCode = WORD(::MapVirtualKeyA(UINT(vk & 0xFF), 0));
  r.Event.KeyEvent.uChar.AsciiChar = c;
  Send(r);
  r.Event.KeyEvent.bKeyDown = FALSE;
  Send(r);
}

// A character that no key of the layout gives (an input method's): no
// virtual key, the unit alone.
void Type(const std::wstring& text) {
  for (wchar_t unit : text) {
    INPUT_RECORD r = {};
    r.EventType = KEY_EVENT;
    r.Event.KeyEvent.bKeyDown = TRUE;
    r.Event.KeyEvent.wRepeatCount = 1;
    r.Event.KeyEvent.uChar.UnicodeChar = unit;
    DWORD written = 0;
    ::WriteConsoleInputW(in, &r, 1, &written);
    r.Event.KeyEvent.bKeyDown = FALSE;
    ::WriteConsoleInputW(in, &r, 1, &written);
  }
}

void AppendUtf8(std::string& text, unsigned cp) {
  if (cp < 0x80) {
    text += char(cp);
  } else if (cp < 0x800) {
    text += char(0xC0 | (cp >> 6));
    text += char(0x80 | (cp & 0x3F));
  } else {
    text += char(0xE0 | (cp >> 12));
    text += char(0x80 | ((cp >> 6) & 0x3F));
    text += char(0x80 | (cp & 0x3F));
  }
}

// The window's cells as UTF-8 rows, each wide character once; empty when
// they cannot be read.
std::string Cells() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!::GetConsoleScreenBufferInfo(out, &info)) return std::string();
  const SHORT width = SHORT(info.srWindow.Right - info.srWindow.Left + 1);
  std::string text;
  for (SHORT y = info.srWindow.Top; y <= info.srWindow.Bottom; ++y) {
    std::vector<CHAR_INFO> cells(static_cast<size_t>(width));
    SMALL_RECT rect = {info.srWindow.Left, y, info.srWindow.Right, y};
    if (!::ReadConsoleOutputW(out, cells.data(), COORD{width, 1}, COORD{0, 0}, &rect))
      return std::string();
    for (size_t x = 0; x < cells.size(); ++x) {
      const CHAR_INFO& c = cells[x];
      const bool lead = c.Attributes & COMMON_LVB_LEADING_BYTE;
      const bool trail = c.Attributes & COMMON_LVB_TRAILING_BYTE;
      const bool paired = lead ? x + 1 < cells.size() &&
                                     (cells[x + 1].Attributes & COMMON_LVB_TRAILING_BYTE) &&
                                     cells[x + 1].Char.UnicodeChar == c.Char.UnicodeChar
                               : trail && x > 0 &&
                                     (cells[x - 1].Attributes & COMMON_LVB_LEADING_BYTE) &&
                                     cells[x - 1].Char.UnicodeChar == c.Char.UnicodeChar;
      if (trail && paired) continue;
      AppendUtf8(text, (lead || trail) && !paired ? 0xFFFDu : unsigned(c.Char.UnicodeChar));
    }
    text += '\n';
  }
  return text;
}

// Writes the cells once the screen has settled: the same twice, 300 ms
// apart.
bool Dump(const std::wstring& path) {
  std::string text = Cells();
  bool settled = false;
  for (int i = 0; i < 60 && !settled; ++i) {
    ::Sleep(300);
    const std::string again = Cells();
    settled = !again.empty() && again == text;
    text = again;
  }
  if (!settled) return false;
  HANDLE f = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD done = 0;
  const bool ok = ::WriteFile(f, text.data(), DWORD(text.size()), &done, nullptr) &&
                  done == text.size();
  ::CloseHandle(f);
  return ok;
}

// `wide` is the step as typed, for the names in it: the narrow one may
// hold look-alikes of characters the code page lacks.
bool Step(const std::string& step, const std::wstring& wide) {
  const size_t colon = step.find(':');
  const std::string verb = step.substr(0, colon), arg = step.substr(colon + 1);
  int x = 0, y = 0;
  if (verb == "wait" || verb == "gone") {
    const std::wstring text = wide.substr(wide.find(L':') + 1);
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                        nullptr, nullptr);
    std::string utf8(size_t(n > 0 ? n : 0), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), utf8.data(), n, nullptr,
                          nullptr);
    const bool wanted = verb == "wait";
    return Until([&] { return (Cells().find(utf8) != std::string::npos) == wanted; }, 20);
  }
  if (verb == "file") {
    const std::wstring path = wide.substr(wide.find(L':') + 1);
    return Until([&] { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }, 60);
  }
  if (verb == "cell") {
    char c = 0;
    if (std::sscanf(arg.c_str(), "%d,%d,%c", &x, &y, &c) != 3) return false;
    return Until([&] {
      const std::vector<std::string> rows = ScreenRows();
      return y >= 1 && size_t(y) <= rows.size() && x >= 1 &&
             size_t(x) <= rows[size_t(y - 1)].size() && rows[size_t(y - 1)][size_t(x - 1)] == c;
    }, 20);
  }
  if (verb == "cellrow") {
    const size_t last = arg.rfind(','), before = arg.rfind(',', last - 1);
    if (last == std::string::npos || before == std::string::npos || last + 2 != arg.size())
      return false;
    const std::string text = arg.substr(0, before);
    x = std::atoi(arg.c_str() + before + 1);
    const char c = arg[last + 1];
    return Until([&] {
      const std::vector<std::string> rows = ScreenRows();
      for (const std::string& row : rows)
        if (row.find(text) != std::string::npos)
          return x >= 1 && size_t(x) <= row.size() && row[size_t(x - 1)] == c;
      return false;
    }, 20);
  }
  if (verb == "click") {
    if (std::sscanf(arg.c_str(), "%d,%d", &x, &y) != 2) return false;
    Click(x, y);
    return true;
  }
  if (verb == "clickrow") {
    const size_t comma = arg.rfind(',');
    y = RowOf(arg.substr(0, comma));
    if (y == 0) return false;
    Click(std::atoi(arg.c_str() + comma + 1), y);
    return true;
  }
  if (verb == "key" && arg == "Enter") {
    Key('\r');
    return true;
  }
  if (verb == "key" && arg.size() == 1) {
    Key(arg[0]);
    return true;
  }
  if (verb == "type") {
    Type(wide.substr(wide.find(L':') + 1));
    return true;
  }
  if (verb == "dump") return Dump(wide.substr(wide.find(L':') + 1));
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  int split = 1;
  while (split < argc && std::string(argv[split]) != "--") ++split;
  if (split < 2 || split == argc) {
    std::fprintf(stderr, "usage: console_inject PROGRAM [ARGS...] -- STEP...\n");
    return 2;
  }
  // The arguments as typed, for the program's name and arguments and for
  // paths: the narrow ones may hold look-alikes of what the code page lacks.
  int wideCount = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &wideCount);
  if (!wide || wideCount != argc) {
    std::fprintf(stderr, "console_inject: the command line cannot be read\n");
    return 2;
  }
  out = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
  in = ::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD modeBefore = 0;
  if (out == INVALID_HANDLE_VALUE || in == INVALID_HANDLE_VALUE ||
      !::GetConsoleMode(in, &modeBefore)) {
    std::fprintf(stderr, "console_inject: no console\n");
    return 2;
  }
  std::wstring command;
  for (int i = 1; i < split; ++i) command += std::wstring(i > 1 ? L" \"" : L"\"") + wide[i] + L"\"";
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                        &pi)) {
    std::fprintf(stderr, "console_inject: cannot start %s\n", argv[1]);
    return 2;
  }
  for (int i = split + 1; i < argc; ++i) {
    if (!Step(argv[i], wide[i])) {
      std::fprintf(stderr, "console_inject: step failed: %s\n", argv[i]);
      ::TerminateProcess(pi.hProcess, 99);
      return 3;
    }
  }
  if (::WaitForSingleObject(pi.hProcess, 20000) != WAIT_OBJECT_0) {
    std::fprintf(stderr, "console_inject: the program did not end\n");
    ::TerminateProcess(pi.hProcess, 99);
    return 3;
  }
  DWORD status = 0;
  ::GetExitCodeProcess(pi.hProcess, &status);
  DWORD modeAfter = 0;
  ::GetConsoleMode(in, &modeAfter);
  if (modeAfter != modeBefore) {
    std::fprintf(stderr, "console_inject: input mode %lx, was %lx\n", modeAfter, modeBefore);
    return 90;
  }
  return int(status);
}
