#include "process.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "console.h"
#include "platform.h"
#include "textfile.h"

namespace ehi {

int ExitCode = 0;

namespace {

std::vector<void (*)()>& Finalisations() {
  static std::vector<void (*)()> list;
  return list;
}

bool shuttingDown = false;
EndHook endHook = nullptr;

char HexDigit(unsigned v) { return "0123456789ABCDEF"[v & 15]; }

std::string Hex8(uint64_t v) {
  std::string s(8, '0');
  for (int i = 7; i >= 0; --i, v >>= 4) s[size_t(i)] = HexDigit(unsigned(v));
  return s;
}

[[noreturn]] void Shutdown(int runtimeError, const uint64_t* chain, int depth) {
  if (shuttingDown) sys::ExitNow(ExitCode);  // a failure inside the shutdown
  shuttingDown = true;
  auto& fins = Finalisations();
  while (!fins.empty()) {
    void (*fn)() = fins.back();
    fins.pop_back();
    fn();
  }
  if (runtimeError != 0) {
    IoError = 0;
    int limit = sys::IsCharacterDevice(StandardOutput.Handle) ? 9 : 257;
    std::string report = "Runtime error " + std::to_string(runtimeError) +
                         " at $" + Hex8(depth > 0 ? chain[0] : 0) + "\r\n";
    report += "  $" + Hex8(depth > 0 ? chain[0] : 0) + "\r\n";
    for (int i = 1; i < depth && i <= limit; ++i)
      report += "  $" + Hex8(chain[i]) + "\r\n";
    report += "\r\n";
    WriteTextString(StandardOutput, report, 0);
    IoError = 0;
  }
  std::fflush(nullptr);
  std::exit(ExitCode);
}

// Skips the frames of the error machinery itself so that the report starts
// at the statement whose operation failed.
[[noreturn]] __attribute__((noinline)) void RaiseRuntimeError(int n, int skip) {
  if (endHook) endHook(n);
  uint64_t chain[260];
  int depth = sys::CallChain(chain, 258, skip);
  ExitCode = n % 256;
  Shutdown(n, chain, depth);
}

void HeapExhausted() { RaiseRuntimeError(203, 2); }

}  // namespace

void RegisterFinalisation(void (*fn)()) { Finalisations().push_back(fn); }

void SetEndHookForTesting(EndHook hook) { endHook = hook; }

void Halt(int code) {
  if (endHook) endHook(code);
  ExitCode = code & 255;
  Shutdown(0, nullptr, 0);
}

__attribute__((noinline)) void RuntimeError(int n) { RaiseRuntimeError(n, 3); }

void NormalEnd() { Halt(ExitCode); }

void InitServices() {
  sys::OnHeapExhausted(HeapExhausted);
  sys::IgnoreFileSizeSignal();
  InitStandardFiles();
  InitConsole();
}

}  // namespace ehi
