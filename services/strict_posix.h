// Read first by the POSIX platform files when they are built with only the
// POSIX feature macros (EHI_PORTABLE). The C library then hides its own
// extensions, so a call that is not POSIX fails to compile. GNU's C++
// library, however, is built for the GNU C library with its extensions
// on and calls a few of them from its own headers (<atomic>, <mutex>,
// <thread>, <shared_mutex>); those alone are declared here, with the
// signatures the C library gives them, inside namespace std, where the
// standard library calls them from: the platform files' own code does not
// see them, so a call of, say, syscall still fails to compile there.
#pragma once

#if __has_include(<features.h>)
#include <features.h>
#endif

#if defined(__GLIBC__) && !defined(__USE_GNU)
#include <pthread.h>
#include <time.h>

namespace std {
extern "C" {
long syscall(long number, ...) noexcept;
int pthread_cond_clockwait(pthread_cond_t* cond, pthread_mutex_t* mutex, clockid_t clock,
                           const struct timespec* abstime) noexcept;
int pthread_mutex_clocklock(pthread_mutex_t* mutex, clockid_t clock,
                            const struct timespec* abstime) noexcept;
int pthread_rwlock_clockrdlock(pthread_rwlock_t* lock, clockid_t clock,
                               const struct timespec* abstime) noexcept;
int pthread_rwlock_clockwrlock(pthread_rwlock_t* lock, clockid_t clock,
                               const struct timespec* abstime) noexcept;
}
}  // namespace std
#endif
