// ReadFromRpt over arbitrary files: it may stop with error 106, nothing else.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "UMAlloc.h"
#include "process.h"
#include "testhooks.h"
#include "textfile.h"

using namespace ehi;

namespace {

struct Stopped {
  int code;
};

void ThrowOnEnd(int code) { throw Stopped{code}; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  static bool hooked = (SetEndHookForTesting(ThrowOnEnd), true);
  (void)hooked;
  int rows = data[0] % 8, cols = data[1] % 8;
  std::string path = "/tmp/fuzz-rpt-" + std::to_string(getpid());
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(data + 2, 1, size - 2, f);
  std::fclose(f);
  IoError = 0;
  TDARealEqObj m(static_cast<int16_t>(rows), static_cast<int16_t>(cols));
  TextFile t;
  AssignText(t, path);
  OpenTextRead(t);
  String header;
  try {
    m.ReadFromRpt(t, header);
  } catch (const Stopped& s) {
    if (s.code != 106) std::abort();
  }
  IoError = 0;
  CloseText(t);
  IoError = 0;
  return 0;
}
