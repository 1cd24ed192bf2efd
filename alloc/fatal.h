// The fatal stops: a message on the console and exit code 1.
#pragma once

#include <cstdint>
#include <string_view>

namespace ehi {

/// The product of two signed 32-bit values, wrapping on overflow, unchecked.
int32_t MultWordVal(int32_t WordVal1, int32_t WordVal2);

/// Writes "HALTING! -- Structure too big" and `Mess` on two console lines
/// and ends the process with exit code 1.
[[noreturn]] void Overload(std::string_view Mess);

/// Writes "Halting with error-code 1, because:" and `Mess` on two console
/// lines and ends the process with exit code 1.
[[noreturn]] void RunAbort(std::string_view Mess);

}  // namespace ehi
