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

/// Aligns a large table to the system's large page (2 MiB), so that all of
/// it can be backed by large pages (see sys::PreferLargePages). Executables
/// for Windows cannot align data that far, and do not need to.
#if (defined(__GNUC__) || defined(__clang__)) && defined(__ELF__)
#define EHI_LARGE_PAGE_ALIGNED alignas(2097152)
#else
#define EHI_LARGE_PAGE_ALIGNED
#endif
