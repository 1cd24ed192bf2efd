#include "codes.h"
#include "process.h"

#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

#include "compiler.h"
#include "console.h"
#include "helper.h"
#include "platform.h"
#include "testhooks.h"
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

// Appends "$" and eight hexadecimal digits.
char* PutHex8(char* out, uint64_t v) {
  *out++ = '$';
  for (int i = 7; i >= 0; --i) out[i] = "0123456789ABCDEF"[(v >> (4 * (7 - i))) & 15];
  return out + 8;
}

char* PutText(char* out, const char* text) {
  while (*text) *out++ = *text++;
  return out;
}

// The report is built without the heap: it must come out when the heap is
// exhausted too (error 203).
void WriteReport(int runtimeError, const uint64_t* chain, int depth) {
  static char report[64 + 260 * 14];
  const int limit = sys::IsCharacterDevice(StandardOutput.Handle) ? 9 : 257;
  char number[16];
  char* n = number + sizeof number;
  *--n = 0;
  unsigned v = unsigned(runtimeError);
  do *--n = char('0' + v % 10); while ((v /= 10) != 0);
  const uint64_t first = depth > 0 ? chain[0] : 0;
  char* out = PutText(report, "Runtime error ");
  out = PutText(out, n);
  out = PutHex8(PutText(out, " at "), first);
  out = PutHex8(PutText(out, "\r\n  "), first);
  out = PutText(out, "\r\n");
  for (int i = 1; i < depth && i <= limit; ++i) out = PutText(PutHex8(PutText(out, "  "), chain[i]), "\r\n");
  out = PutText(out, "\r\n");
  IoError = 0;
  WriteTextString(StandardOutput, std::string_view(report, size_t(out - report)), 0);
  IoError = 0;
}

// A helper thread never ends the run: its work ends (RunAsHelper catches
// this), the main thread's goes on, and nothing of the run's end changes.
void StopHereUnlessHelper() {
  if (OnHelperThread()) throw HelperStopped();
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
  if (runtimeError != 0) WriteReport(runtimeError, chain, depth);
  std::fflush(nullptr);
  std::exit(ExitCode);
}

// Skips the frames of the error machinery itself so that the report starts
// at the statement whose operation failed.
// The report starts at the call that returns to `from`: found by its
// address in the call chain, so it does not depend on how many frames the
// error machinery itself took (inlining differs between builds).
[[noreturn]] void RaiseRuntimeError(int n, const void* from) {
  StopHereUnlessHelper();
  if (endHook) endHook(n);
  uint64_t chain[260];
  int depth = sys::CallChain(chain, 258, 0);
  const uint64_t start = sys::CodeOffset(from);
  int first = 0;
  while (first < depth && chain[first] != start) ++first;
  if (first == depth) first = 0;  // not found: the whole chain
  ExitCode = n % 256;
  Shutdown(n, chain + first, depth - first);
}

// On a helper thread the allocation fails as the language has it fail: the
// helper gives up its work, the run goes on.
EHI_NOINLINE void HeapExhausted() {
  if (OnHelperThread()) throw std::bad_alloc();
  RaiseRuntimeError(rte::kHeapExhausted, EHI_RETURN_ADDRESS());
}

}  // namespace

void RegisterFinalisation(void (*fn)()) { Finalisations().push_back(fn); }

void SetEndHookForTesting(EndHook hook) { endHook = hook; }

void Halt(int code) {
  StopHereUnlessHelper();
  if (endHook) endHook(code);
  ExitCode = code & 255;
  Shutdown(0, nullptr, 0);
}

EHI_NOINLINE void RuntimeError(int n) { RaiseRuntimeError(n, EHI_RETURN_ADDRESS()); }

void RuntimeErrorAt(int n, const void* returnAddress) { RaiseRuntimeError(n, returnAddress); }

void NormalEnd() { Halt(ExitCode); }

void InitServices() {
  sys::OnHeapExhausted(HeapExhausted);
  // The first look at the call chain loads what it needs from the heap: do
  // it now, while there is heap, so a report never needs any.
  uint64_t chain[4];
  sys::CallChain(chain, 4, 0);
  sys::IgnoreFileSizeSignal();
  InitStandardFiles();
  InitConsole();
}

}  // namespace ehi
