// A minimal host for the end-to-end tests: loads a built plug-in library,
// calls its entry point with a recording host callback and talks to the
// instance only through the descriptor, as a real host does.
#pragma once

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "host/vst2_abi.h"

namespace e2e {

using namespace vst2;

struct HostCall {
    AEffect* effect;
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    float opt;
};

// A host callback is a bare function without user data, so the recorder is
// process-wide; every test resets it before it looks at it.
class RecordingHost {
public:
    static inline std::vector<HostCall> calls;
    static inline VstIntPtr versionAnswer = 2400;
    // Called from inside the callback, after recording; lets a test interleave
    // host calls with what the plug-in logs itself.
    static inline void (*observer)(const HostCall&) = nullptr;

    static VstIntPtr callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void*, float opt) {
        const HostCall call{effect, opcode, index, value, opt};
        calls.push_back(call);
        if (observer) observer(call);
        if (opcode == audioMasterVersion) return versionAnswer;
        return 0;  // no time information, no display update, nothing else
    }

    static void reset() {
        calls.clear();
        versionAnswer = 2400;
        observer = nullptr;
    }

    static std::vector<HostCall> callsWith(VstInt32 opcode) {
        std::vector<HostCall> found;
        for (const HostCall& call : calls)
            if (call.opcode == opcode) found.push_back(call);
        return found;
    }
};

// The library stays loaded for the whole process: instances may outlive a
// test's scope in a failing test, and unloading buys nothing here.
class PluginLibrary {
public:
#if defined(_WIN32)
    explicit PluginLibrary(const char* path) : handle_(LoadLibraryA(path)) {
        if (handle_ == nullptr) error_ = "LoadLibraryA failed, error " + std::to_string(GetLastError());
    }
    void* symbol(const char* name) const {
        return handle_ ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name)) : nullptr;
    }
#else
    explicit PluginLibrary(const char* path) : handle_(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {
        if (handle_ == nullptr) error_ = dlerror();
    }
    void* symbol(const char* name) const { return handle_ ? dlsym(handle_, name) : nullptr; }
#endif
    bool loaded() const { return handle_ != nullptr; }
    const std::string& error() const { return error_; }
    void* nativeHandle() const { return handle_; }
    VstPluginMainProc entry(const char* name = "VSTPluginMain") const {
        return reinterpret_cast<VstPluginMainProc>(symbol(name));
    }

private:
    void* handle_;
    std::string error_;
};

// Filled with a byte no plug-in text contains, so a test can see exactly how
// far a copy into a host buffer went.
constexpr unsigned char kCanary = 0xA5;
constexpr std::size_t kTextBufferSize = 256;
using TextBuffer = std::array<char, kTextBufferSize>;

inline TextBuffer canaryBuffer() {
    TextBuffer buffer;
    std::memset(buffer.data(), kCanary, buffer.size());
    return buffer;
}

// Number of bytes after the first terminator that are no longer the canary;
// 0 when the copy stopped at its terminator. -1 when there is no terminator.
inline int bytesTouchedAfterTerminator(const TextBuffer& buffer) {
    const void* zero = std::memchr(buffer.data(), 0, buffer.size());
    if (zero == nullptr) return -1;
    int touched = 0;
    for (auto* p = static_cast<const char*>(zero) + 1; p < buffer.data() + buffer.size(); ++p)
        if (static_cast<unsigned char>(*p) != kCanary) ++touched;
    return touched;
}

class Instance {
public:
    explicit Instance(VstPluginMainProc entry, audioMasterCallback host = &RecordingHost::callback)
        : effect(entry ? entry(host) : nullptr) {}
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;
    ~Instance() {
        if (effect) close();
    }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    }

    VstIntPtr close() {
        const VstIntPtr answer = effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
        effect = nullptr;
        return answer;
    }

    // What a host does before streaming audio.
    void startUp(float sampleRate = 44100.0f, VstInt32 blockSize = 512) {
        dispatch(effOpen);
        dispatch(effSetSampleRate, 0, 0, nullptr, sampleRate);
        dispatch(effSetBlockSize, 0, blockSize);
        dispatch(effMainsChanged, 0, 1);
    }

    float get(VstInt32 index) { return effect->getParameter(effect, index); }
    void set(VstInt32 index, float value) { effect->setParameter(effect, index, value); }

    // A text opcode into a canary-filled buffer; the buffer is returned whole
    // so callers can also check what lies past the terminator.
    TextBuffer textBuffer(VstInt32 opcode, VstInt32 index = 0, VstIntPtr* answer = nullptr) {
        TextBuffer buffer = canaryBuffer();
        const VstIntPtr a = dispatch(opcode, index, 0, buffer.data());
        if (answer) *answer = a;
        return buffer;
    }
    std::string text(VstInt32 opcode, VstInt32 index = 0) {
        const TextBuffer buffer = textBuffer(opcode, index);
        if (std::memchr(buffer.data(), 0, buffer.size()) == nullptr) return "<unterminated>";
        return std::string(buffer.data());
    }

    std::vector<unsigned char> chunk() {
        void* data = nullptr;
        const VstIntPtr size = dispatch(effGetChunk, 0, 0, &data);
        if (size <= 0 || data == nullptr) return {};
        const auto* bytes = static_cast<const unsigned char*>(data);
        return std::vector<unsigned char>(bytes, bytes + size);
    }

    VstIntPtr restore(const void* data, VstIntPtr size) {
        return dispatch(effSetChunk, 0, size, const_cast<void*>(data));
    }
    VstIntPtr restore(const std::vector<unsigned char>& bytes) {
        return restore(bytes.data(), static_cast<VstIntPtr>(bytes.size()));
    }

    std::vector<float> parameters() {
        std::vector<float> values;
        for (VstInt32 i = 0; i < effect->numParams; ++i) values.push_back(get(i));
        return values;
    }

    AEffect* effect;
};

// Chunk bytes <-> the 32-bit little-endian floats they carry.
inline std::vector<float> floatsOf(const std::vector<unsigned char>& bytes) {
    std::vector<float> values(bytes.size() / 4);
    std::memcpy(values.data(), bytes.data(), values.size() * 4);
    return values;
}

inline std::vector<unsigned char> bytesOf(const std::vector<float>& values) {
    std::vector<unsigned char> bytes(values.size() * 4);
    std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

}  // namespace e2e

#ifdef TONARVO_PLUGIN_PATH
namespace e2e {

inline const PluginLibrary& tonarvoLibrary() {
    static const PluginLibrary library(TONARVO_PLUGIN_PATH);
    return library;
}

inline VstPluginMainProc tonarvoEntry(const char* name = "VSTPluginMain") { return tonarvoLibrary().entry(name); }

// A fresh instance from the built Tonarvo library, created with the recording host.
class TonarvoInstance : public Instance {
public:
    explicit TonarvoInstance(const char* entryName = "VSTPluginMain") : Instance(tonarvoEntry(entryName)) {}
};

}  // namespace e2e
#endif
