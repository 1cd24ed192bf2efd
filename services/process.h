// How the program ends: normal end, Halt with a code, or a numbered runtime
// error with its report. Modules register their finalisations here; the
// shutdown runs them in the reverse order of registration.
#pragma once

#include <cstdint>

namespace ehi {

/// The process exit code, 0..255.
extern int ExitCode;

/// Registers a module finalisation; they run last-registered first.
void RegisterFinalisation(void (*fn)());

/// Ends the program after the normal shutdown with `code`.
[[noreturn]] void Halt(int code);

/// Ends the program with the runtime error report for error `n` on the
/// standard output and exit code n modulo 256.
[[noreturn]] void RuntimeError(int n);

/// Like RuntimeError, but the report starts at the call that returns to
/// `returnAddress`: for checking routines (CheckIo), whose caller is the
/// statement that failed.
[[noreturn]] void RuntimeErrorAt(int n, const void* returnAddress);

/// The normal end of the main program: shutdown with ExitCode.
[[noreturn]] void NormalEnd();

/// Brings up the services (standard text files, heap stop). Programs call
/// it first, then the other modules' initialisations in their stated order.
void InitServices();

}  // namespace ehi
