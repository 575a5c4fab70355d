// What the host answers when the plug-in calls back. The plug-in reaches us
// through a plain C function pointer with no user data, and its very first
// call (the version query inside the entry point) comes before we even have
// its AEffect; so the answers come from one process-wide host context, which
// is enough for a tool that hosts one plug-in at a time.
#pragma once

#include <cstdio>
#include <string>

#include "host/vst2_abi.h"
#include "tools/vsthost/TimeInfo.h"

namespace vhost {

inline constexpr vst2::VstIntPtr kHostVstVersion = 2400;
inline constexpr char kHostVendor[] = "Tonarvo";
inline constexpr char kHostProduct[] = "vsthost";
inline constexpr vst2::VstIntPtr kHostVendorVersion = 1000;

// Process levels a host reports (audioMasterGetCurrentProcessLevel).
enum class ProcessLevel : int { Unknown = 0, User = 1, Realtime = 2, Prefetch = 3, Offline = 4 };

struct HostContext {
    Transport transport;
    float sampleRate = 0.0f;  // as told to the plug-in; 0 until set, like a scanner
    int blockSize = 0;
    ProcessLevel processLevel = ProcessLevel::User;
    bool verbose = false;
    std::FILE* log = stderr;

    vst2::VstIntPtr answer(vst2::AEffect* effect, vst2::VstInt32 opcode, vst2::VstInt32 index,
                           vst2::VstIntPtr value, void* ptr, float opt);
};

// Installs a context as the one the callback answers from, for its scope.
class ActiveHost {
public:
    explicit ActiveHost(HostContext& context);
    ~ActiveHost();
    ActiveHost(const ActiveHost&) = delete;
    ActiveHost& operator=(const ActiveHost&) = delete;

private:
    HostContext* previous_;
};

// The function handed to the plug-in's entry point.
extern "C" vst2::VstIntPtr hostCallback(vst2::AEffect* effect, vst2::VstInt32 opcode, vst2::VstInt32 index,
                                        vst2::VstIntPtr value, void* ptr, float opt);

// "audioMasterGetTime" for 7; "unknown" for numbers the interface does not define.
const char* hostOpcodeName(vst2::VstInt32 opcode);

}  // namespace vhost
