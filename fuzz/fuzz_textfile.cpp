// The text-file reader over arbitrary bytes at a block size the input
// chooses: its lines must equal those of a small reference reader, and
// character reads must give back the bytes.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "numconv.h"
#include "reference_lines.h"
#include "textfile.h"

using namespace ehi;

namespace {

std::string TempPath() {
  static std::string path = "/tmp/fuzz-textfile-" + std::to_string(getpid());
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  TextBlockSize = 1 + ((data[0] | (data[1] << 8)) % 65536);
  std::string content(reinterpret_cast<const char*>(data + 2), size - 2);
  FILE* f = std::fopen(TempPath().c_str(), "wb");
  std::fwrite(content.data(), 1, content.size(), f);
  std::fclose(f);

  IoError = 0;
  TextFile t;
  AssignText(t, TempPath());
  OpenTextRead(t);
  std::vector<std::string> lines;
  do {
    String line;
    ReadTextLine(t, line);
    lines.push_back(line.Str());
  } while (!TextAtEnd(t));
  CloseText(t);
  if (IoError != 0) std::abort();
  if (lines != ReferenceLines(content)) std::abort();

  OpenTextRead(t);
  for (size_t i = 0; i <= content.size(); ++i) {
    char c;
    ReadTextChar(t, c);
    if (i < content.size() ? c != content[i] : c != 26) std::abort();
  }
  CloseText(t);

  // Numbers: whatever the bytes, a read ends with a value or error 106.
  OpenTextRead(t);
  for (int i = 0; i < 64 && IoError == 0; ++i) {
    long double x;
    ReadTextReal(t, x);
  }
  if (IoError != 0 && IoError != 106) std::abort();
  IoError = 0;
  CloseText(t);
  if (IoError != 0) std::abort();
  return 0;
}
