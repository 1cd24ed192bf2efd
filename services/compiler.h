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
