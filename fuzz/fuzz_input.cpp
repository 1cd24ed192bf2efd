// The terminal key and mouse decoder over arbitrary byte streams fed in
// arbitrary chunks: never a crash, the same events whatever the chunking,
// and no byte of an escape sequence passed on as a typed character.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "inputdecoder.h"

using namespace ehi;

namespace {

struct Recorder : InputSink {
  std::vector<std::string> seen;
  void OnKey(const KeyEvent& k) override {
    seen.push_back(std::string(k.Extended ? "x" : "c") + char(k.Code));
  }
  void OnMouse(const MouseState& m) override {
    if (m.Buttons & ~7u) std::abort();  // only left, right, middle
    seen.push_back("m" + std::to_string(m.Buttons) + "," + std::to_string(m.X) + "," +
                   std::to_string(m.Y));
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t chunk = 1 + data[0] % 16;
  std::string stream(reinterpret_cast<const char*>(data + 1), size - 1);

  InputDecoder whole;
  Recorder a;
  whole.Feed(stream, a);
  whole.Timeout(a);

  InputDecoder pieces;
  Recorder b;
  for (size_t i = 0; i < stream.size(); i += chunk) pieces.Feed(stream.substr(i, chunk), b);
  pieces.Timeout(b);
  if (a.seen != b.seen) std::abort();

  // An ESC comes out as a character only as the Escape key: typed twice,
  // or alone at the end of the input.
  size_t escChars = 0;
  for (const std::string& e : a.seen) escChars += e == std::string("c\x1b");
  size_t escBytes = 0;
  for (char c : stream) escBytes += c == 27;
  if (escChars > escBytes) std::abort();
  // Characters never outnumber the bytes they came from.
  size_t chars = 0;
  for (const std::string& e : a.seen) chars += e[0] == 'c';
  if (chars > stream.size()) std::abort();
  return 0;
}
