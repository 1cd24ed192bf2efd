// Compiler-specific spellings, in one place.
#pragma once

/// Keeps a function out of line: the runtime error report counts frames.
#if defined(__GNUC__) || defined(__clang__)
#define EHI_NOINLINE __attribute__((noinline))
#elif defined(_MSC_VER)
#define EHI_NOINLINE __declspec(noinline)
#else
#define EHI_NOINLINE
#endif

/// Where the current function returns to: the call that reached it.
#if defined(__GNUC__) || defined(__clang__)
#define EHI_RETURN_ADDRESS() __builtin_return_address(0)
#elif defined(_MSC_VER)
#include <intrin.h>
#define EHI_RETURN_ADDRESS() _ReturnAddress()
#endif
