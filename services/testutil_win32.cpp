// The Windows side of the test helpers.
#include "testutil.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

namespace ehi::test {

std::string Captured(const std::string& expected) {
  std::string text;
  for (size_t i = 0; i < expected.size(); ++i)
    if (!(expected[i] == '\r' && i + 1 < expected.size() && expected[i + 1] == '\n'))
      text += expected[i];
  return text;
}

void EmptyStandardInput() {
  HANDLE nul = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
  ::SetStdHandle(STD_INPUT_HANDLE, nul);
}

}  // namespace ehi::test
