// Counts what the plug-in must not do on the audio thread: allocate, take a
// lock, wait or sleep. One thread at a time is armed; calls from any other
// thread are not counted. Also follows the heap blocks alive, for leaks.
//
// Linux: the battery's executable defines the allocation, lock and sleep
// functions itself, and the plug-in's references bind to them (ELF symbol
// interposition); they count and forward to the C library. Windows: the
// plug-in DLL's import table is patched, so its calls into the C runtime's
// heap and kernel32's locks, waits and sleeps come through counters.
// Sanitizer builds bring their own allocator and lock interceptors and count
// nothing here.
#pragma once

namespace stress::watch {

bool available();
// How this build counts, or why it does not.
const char* method();

// Prepares counting for a loaded plug-in library (Windows patches its import
// table once). Returns false when that failed.
bool attach(void* nativeLibraryHandle);

struct Counts {
    long allocations = 0;
    long locks = 0;  // locks, waits and sleeps
};

// Counting on the calling thread, for the scope: around the plug-in's calls
// only, so the battery's own work between them is never counted.
class Armed {
public:
    Armed();
    ~Armed();
    Armed(const Armed&) = delete;
    Armed& operator=(const Armed&) = delete;
};

// What was counted since the last reset.
Counts counts();
void reset();

// Heap blocks allocated and not yet freed: the whole process on Linux, the
// plug-in's own on Windows. -1 when not counted.
long liveBlocks();

}  // namespace stress::watch
