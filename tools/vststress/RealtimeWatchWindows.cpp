// Windows: the plug-in DLL's import address table is patched, once per
// loaded DLL, so its calls into the C runtime's heap and kernel32's locks,
// waits and sleeps reach counters first. Not counted: what is linked into the
// DLL statically and never calls an import (an uncontended mutex of a static
// thread library spins on an atomic), addresses the DLL looks up itself, and
// what system libraries do inside on its behalf.
#include "tools/vststress/RealtimeWatch.h"

#include <windows.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <malloc.h>

namespace stress::watch {

namespace {

std::atomic<DWORD> gArmed{0};
std::atomic<long> gAllocations{0};
std::atomic<long> gLocks{0};
std::atomic<long> gLive{0};
std::atomic<bool> gAttached{false};

inline bool onArmedThread() {
    const DWORD armed = gArmed.load(std::memory_order_relaxed);
    return armed != 0 && armed == GetCurrentThreadId();
}
inline void countAllocation() {
    if (onArmedThread()) gAllocations.fetch_add(1, std::memory_order_relaxed);
}
inline void countLock() {
    if (onArmedThread()) gLocks.fetch_add(1, std::memory_order_relaxed);
}
inline void born(const void* p) {
    if (p != nullptr) gLive.fetch_add(1, std::memory_order_relaxed);
}
inline void died(const void* p) {
    if (p != nullptr) gLive.fetch_sub(1, std::memory_order_relaxed);
}

// The heap: the C runtime's functions, and kernel32's heaps.
void* __cdecl hookMalloc(size_t size) {
    countAllocation();
    void* p = std::malloc(size);
    born(p);
    return p;
}
void* __cdecl hookCalloc(size_t count, size_t size) {
    countAllocation();
    void* p = std::calloc(count, size);
    born(p);
    return p;
}
void* __cdecl hookRealloc(void* old, size_t size) {
    countAllocation();
    void* p = std::realloc(old, size);
    if (old == nullptr) born(p);
    if (old != nullptr && p == nullptr && size == 0) died(old);
    return p;
}
void __cdecl hookFree(void* p) {
    died(p);
    std::free(p);
}
void* __cdecl hookAlignedMalloc(size_t size, size_t alignment) {
    countAllocation();
    void* p = _aligned_malloc(size, alignment);
    born(p);
    return p;
}
void __cdecl hookAlignedFree(void* p) {
    died(p);
    _aligned_free(p);
}
LPVOID WINAPI hookHeapAlloc(HANDLE heap, DWORD flags, SIZE_T size) {
    countAllocation();
    LPVOID p = HeapAlloc(heap, flags, size);
    born(p);
    return p;
}
LPVOID WINAPI hookHeapReAlloc(HANDLE heap, DWORD flags, LPVOID old, SIZE_T size) {
    countAllocation();
    return HeapReAlloc(heap, flags, old, size);
}
BOOL WINAPI hookHeapFree(HANDLE heap, DWORD flags, LPVOID p) {
    died(p);
    return HeapFree(heap, flags, p);
}
LPVOID WINAPI hookVirtualAlloc(LPVOID at, SIZE_T size, DWORD type, DWORD protect) {
    countAllocation();
    return VirtualAlloc(at, size, type, protect);
}

// Locks, waits and sleeps.
void WINAPI hookEnterCriticalSection(LPCRITICAL_SECTION s) {
    countLock();
    EnterCriticalSection(s);
}
BOOL WINAPI hookTryEnterCriticalSection(LPCRITICAL_SECTION s) {
    countLock();
    return TryEnterCriticalSection(s);
}
void WINAPI hookAcquireSRWLockExclusive(PSRWLOCK l) {
    countLock();
    AcquireSRWLockExclusive(l);
}
void WINAPI hookAcquireSRWLockShared(PSRWLOCK l) {
    countLock();
    AcquireSRWLockShared(l);
}
BOOLEAN WINAPI hookTryAcquireSRWLockExclusive(PSRWLOCK l) {
    countLock();
    return TryAcquireSRWLockExclusive(l);
}
BOOLEAN WINAPI hookTryAcquireSRWLockShared(PSRWLOCK l) {
    countLock();
    return TryAcquireSRWLockShared(l);
}
DWORD WINAPI hookWaitForSingleObject(HANDLE h, DWORD ms) {
    countLock();
    return WaitForSingleObject(h, ms);
}
DWORD WINAPI hookWaitForSingleObjectEx(HANDLE h, DWORD ms, BOOL alertable) {
    countLock();
    return WaitForSingleObjectEx(h, ms, alertable);
}
DWORD WINAPI hookWaitForMultipleObjects(DWORD n, const HANDLE* h, BOOL all, DWORD ms) {
    countLock();
    return WaitForMultipleObjects(n, h, all, ms);
}
DWORD WINAPI hookWaitForMultipleObjectsEx(DWORD n, const HANDLE* h, BOOL all, DWORD ms, BOOL alertable) {
    countLock();
    return WaitForMultipleObjectsEx(n, h, all, ms, alertable);
}
BOOL WINAPI hookSleepConditionVariableCS(PCONDITION_VARIABLE c, PCRITICAL_SECTION s, DWORD ms) {
    countLock();
    return SleepConditionVariableCS(c, s, ms);
}
BOOL WINAPI hookSleepConditionVariableSRW(PCONDITION_VARIABLE c, PSRWLOCK l, DWORD ms, ULONG flags) {
    countLock();
    return SleepConditionVariableSRW(c, l, ms, flags);
}
void WINAPI hookSleep(DWORD ms) {
    countLock();
    Sleep(ms);
}
DWORD WINAPI hookSleepEx(DWORD ms, BOOL alertable) {
    countLock();
    return SleepEx(ms, alertable);
}

struct Hook {
    const char* name;
    void* replacement;
};

#define STRESS_HOOK(name, function) {name, reinterpret_cast<void*>(&function)}
const Hook kHooks[] = {
    STRESS_HOOK("malloc", hookMalloc),
    STRESS_HOOK("calloc", hookCalloc),
    STRESS_HOOK("realloc", hookRealloc),
    STRESS_HOOK("free", hookFree),
    STRESS_HOOK("_aligned_malloc", hookAlignedMalloc),
    STRESS_HOOK("_aligned_free", hookAlignedFree),
    STRESS_HOOK("HeapAlloc", hookHeapAlloc),
    STRESS_HOOK("HeapReAlloc", hookHeapReAlloc),
    STRESS_HOOK("HeapFree", hookHeapFree),
    STRESS_HOOK("VirtualAlloc", hookVirtualAlloc),
    STRESS_HOOK("EnterCriticalSection", hookEnterCriticalSection),
    STRESS_HOOK("TryEnterCriticalSection", hookTryEnterCriticalSection),
    STRESS_HOOK("AcquireSRWLockExclusive", hookAcquireSRWLockExclusive),
    STRESS_HOOK("AcquireSRWLockShared", hookAcquireSRWLockShared),
    STRESS_HOOK("TryAcquireSRWLockExclusive", hookTryAcquireSRWLockExclusive),
    STRESS_HOOK("TryAcquireSRWLockShared", hookTryAcquireSRWLockShared),
    STRESS_HOOK("WaitForSingleObject", hookWaitForSingleObject),
    STRESS_HOOK("WaitForSingleObjectEx", hookWaitForSingleObjectEx),
    STRESS_HOOK("WaitForMultipleObjects", hookWaitForMultipleObjects),
    STRESS_HOOK("WaitForMultipleObjectsEx", hookWaitForMultipleObjectsEx),
    STRESS_HOOK("SleepConditionVariableCS", hookSleepConditionVariableCS),
    STRESS_HOOK("SleepConditionVariableSRW", hookSleepConditionVariableSRW),
    STRESS_HOOK("Sleep", hookSleep),
    STRESS_HOOK("SleepEx", hookSleepEx),
};

// Only imports from the C runtime and the core system libraries: another
// DLL's "free" would be a different function.
bool hookedLibrary(const char* name) {
    char lower[64] = {};
    for (int i = 0; i < 63 && name[i] != '\0'; ++i)
        lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(name[i])));
    return std::strcmp(lower, "msvcrt.dll") == 0 || std::strcmp(lower, "ucrtbase.dll") == 0 ||
           std::strcmp(lower, "kernel32.dll") == 0 || std::strncmp(lower, "api-ms-win-", 11) == 0;
}

int patchImports(HMODULE module) {
    auto* base = reinterpret_cast<unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return -1;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0) return 0;
    int patched = 0;
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress); d->Name != 0; ++d) {
        if (!hookedLibrary(reinterpret_cast<const char*>(base + d->Name)) || d->OriginalFirstThunk == 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            for (const Hook& hook : kHooks) {
                if (std::strcmp(reinterpret_cast<const char*>(byName->Name), hook.name) != 0) continue;
                DWORD old = 0;
                if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old)) break;
                slots->u1.Function = reinterpret_cast<ULONG_PTR>(hook.replacement);
                VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
                ++patched;
                break;
            }
        }
    }
    return patched;
}

}  // namespace

bool available() { return gAttached.load(); }

const char* method() {
    return gAttached.load() ? "the plug-in's imports of the C runtime heap and kernel32 locks, waits and sleeps"
                            : "not counted: the plug-in's import table could not be patched";
}

bool attach(void* nativeLibraryHandle) {
    if (gAttached.load()) return true;
    const int patched = patchImports(static_cast<HMODULE>(nativeLibraryHandle));
    gAttached.store(patched > 0);
    return patched > 0;
}

Armed::Armed() {
    gArmed.store(GetCurrentThreadId(), std::memory_order_relaxed);
}

Armed::~Armed() { gArmed.store(0, std::memory_order_relaxed); }

Counts counts() { return {gAllocations.load(), gLocks.load()}; }

void reset() {
    gAllocations.store(0);
    gLocks.store(0);
}

long liveBlocks() { return gAttached.load() ? gLive.load() : -1; }

}  // namespace stress::watch
