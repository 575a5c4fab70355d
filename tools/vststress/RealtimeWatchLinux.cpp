// Linux: interposition. These definitions live in the executable, which is
// linked with its symbols exported, so the dynamic linker binds the plug-in's
// (and every library's) references to them; each counts when called on the
// armed thread and forwards to the C library's own function.
#include "tools/vststress/RealtimeWatch.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define STRESS_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define STRESS_SANITIZED 1
#endif
#endif

#if !defined(STRESS_SANITIZED) && defined(__GLIBC__)
#define STRESS_INTERPOSE 1
#include <dlfcn.h>
#include <pthread.h>
#include <semaphore.h>
#include <time.h>
#endif

namespace stress::watch {

namespace {

std::atomic<std::uintptr_t> gArmed{0};
std::atomic<long> gAllocations{0};
std::atomic<long> gLocks{0};
#if defined(STRESS_INTERPOSE)
std::atomic<long> gLive{0};
#endif

}  // namespace

#if defined(STRESS_INTERPOSE)

namespace {

inline bool onArmedThread() {
    const std::uintptr_t armed = gArmed.load(std::memory_order_relaxed);
    return armed != 0 && armed == static_cast<std::uintptr_t>(pthread_self());
}

inline void countAllocation() {
    if (onArmedThread()) gAllocations.fetch_add(1, std::memory_order_relaxed);
}

inline void countLock() {
    if (onArmedThread()) gLocks.fetch_add(1, std::memory_order_relaxed);
}

// The C library's function behind an interposed name, looked up on first use.
template <typename Function>
Function next(std::atomic<Function>& slot, const char* name) {
    Function f = slot.load(std::memory_order_relaxed);
    if (f == nullptr) {
        f = reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
        slot.store(f, std::memory_order_relaxed);
    }
    return f;
}

}  // namespace

bool available() { return true; }
const char* method() { return "interposed malloc family, pthread locks, semaphores and sleeps"; }

#else

bool available() { return false; }
const char* method() { return "not counted: the sanitizer owns the allocator and the lock functions"; }

#endif

bool attach(void*) { return true; }

Armed::Armed() {
#if defined(STRESS_INTERPOSE)
    gArmed.store(static_cast<std::uintptr_t>(pthread_self()), std::memory_order_relaxed);
#endif
}

Armed::~Armed() { gArmed.store(0, std::memory_order_relaxed); }

Counts counts() { return {gAllocations.load(), gLocks.load()}; }

void reset() {
    gAllocations.store(0);
    gLocks.store(0);
}

long liveBlocks() {
#if defined(STRESS_INTERPOSE)
    return gLive.load();
#else
    return -1;
#endif
}

}  // namespace stress::watch

#if defined(STRESS_INTERPOSE)

using namespace stress::watch;

#define STRESS_EXPORT extern "C" __attribute__((visibility("default")))

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* p);
}

STRESS_EXPORT void* malloc(std::size_t size) noexcept {
    countAllocation();
    void* p = __libc_malloc(size);
    if (p != nullptr) gLive.fetch_add(1, std::memory_order_relaxed);
    return p;
}

STRESS_EXPORT void* calloc(std::size_t count, std::size_t size) noexcept {
    countAllocation();
    void* p = __libc_calloc(count, size);
    if (p != nullptr) gLive.fetch_add(1, std::memory_order_relaxed);
    return p;
}

STRESS_EXPORT void* realloc(void* old, std::size_t size) noexcept {
    countAllocation();
    void* p = __libc_realloc(old, size);
    if (old == nullptr && p != nullptr) gLive.fetch_add(1, std::memory_order_relaxed);
    if (old != nullptr && p == nullptr && size == 0) gLive.fetch_sub(1, std::memory_order_relaxed);
    return p;
}

STRESS_EXPORT void free(void* p) noexcept {
    if (p != nullptr) gLive.fetch_sub(1, std::memory_order_relaxed);
    __libc_free(p);
}

STRESS_EXPORT void* memalign(std::size_t alignment, std::size_t size) noexcept {
    countAllocation();
    void* p = __libc_memalign(alignment, size);
    if (p != nullptr) gLive.fetch_add(1, std::memory_order_relaxed);
    return p;
}

STRESS_EXPORT void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept { return memalign(alignment, size); }

STRESS_EXPORT int posix_memalign(void** out, std::size_t alignment, std::size_t size) noexcept {
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return 22;  // EINVAL
    void* p = memalign(alignment, size);
    if (p == nullptr) return 12;  // ENOMEM
    *out = p;
    return 0;
}

// Locks, waits and sleeps: counted, then the C library's own. The noexcept
// clause repeats the C library's declaration (cancellation points may throw).
#define STRESS_FORWARD(Result, name, Parameters, Arguments, ...)     \
    STRESS_EXPORT Result name Parameters __VA_ARGS__ {               \
        static std::atomic<Result(*) Parameters> real{nullptr};      \
        countLock();                                                 \
        return next(real, #name) Arguments;                          \
    }

STRESS_FORWARD(int, pthread_mutex_lock, (pthread_mutex_t * m), (m), noexcept)
STRESS_FORWARD(int, pthread_mutex_trylock, (pthread_mutex_t * m), (m), noexcept)
STRESS_FORWARD(int, pthread_mutex_timedlock, (pthread_mutex_t * m, const struct timespec* t), (m, t), noexcept)
STRESS_FORWARD(int, pthread_rwlock_rdlock, (pthread_rwlock_t * l), (l), noexcept)
STRESS_FORWARD(int, pthread_rwlock_wrlock, (pthread_rwlock_t * l), (l), noexcept)
STRESS_FORWARD(int, pthread_rwlock_tryrdlock, (pthread_rwlock_t * l), (l), noexcept)
STRESS_FORWARD(int, pthread_rwlock_trywrlock, (pthread_rwlock_t * l), (l), noexcept)
STRESS_FORWARD(int, pthread_spin_lock, (pthread_spinlock_t * l), (l), noexcept)
STRESS_FORWARD(int, sem_wait, (sem_t * s), (s))
STRESS_FORWARD(int, sem_timedwait, (sem_t * s, const struct timespec* t), (s, t))
STRESS_FORWARD(int, nanosleep, (const struct timespec* t, struct timespec* r), (t, r))
STRESS_FORWARD(int, clock_nanosleep, (clockid_t c, int f, const struct timespec* t, struct timespec* r),
               (c, f, t, r))
STRESS_FORWARD(int, usleep, (useconds_t u), (u))
STRESS_FORWARD(unsigned, sleep, (unsigned s), (s))

#endif
