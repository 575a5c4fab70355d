#include "host/vst3/Vst3Entry.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "host/vst3/Vst3Plugin.h"
#include "host/vst3/Vst3Text.h"

namespace vst3face {

using namespace vst3;

namespace {

// ---------------------------------------------------------------- text

void copyAscii(char8* to, std::size_t size, const char* from) {
    std::snprintf(to, size, "%s", from ? from : "");
}

// ---------------------------------------------------------------- factory

// The module's one factory: a static object, alive while the module is;
// its count is kept for hosts that check it, but nothing is freed.
class Factory final : public IPluginFactory3 {
public:
    void bind(const PluginClass& c) { plugin = &c; }

    tresult VST3_CALL queryInterface(const TUID iid, void** obj) override {
        if (obj == nullptr) return kInvalidArgument;
        if (sameTuid(iid, FUnknown::iid) || sameTuid(iid, IPluginFactory::iid) ||
            sameTuid(iid, IPluginFactory2::iid) || sameTuid(iid, IPluginFactory3::iid)) {
            addRef();
            *obj = static_cast<IPluginFactory3*>(this);
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 VST3_CALL addRef() override { return ++references; }
    uint32 VST3_CALL release() override {
        const uint32 left = references.load() > 0 ? --references : 0;
        // The last reference gone: a later GetPluginFactory starts afresh.
        if (left == 0) setHostContext(nullptr);
        return left;
    }

    tresult VST3_CALL getFactoryInfo(PFactoryInfo* info) override {
        if (info == nullptr) return kInvalidArgument;
        std::memset(info, 0, sizeof *info);
        copyAscii(info->vendor, sizeof info->vendor, plugin->vendor);
        copyAscii(info->url, sizeof info->url, plugin->url);
        copyAscii(info->email, sizeof info->email, plugin->email);
        info->flags = PFactoryInfo::kUnicode;
        return kResultOk;
    }
    int32 VST3_CALL countClasses() override { return 1; }
    tresult VST3_CALL getClassInfo(int32 index, PClassInfo* info) override {
        if (!startClassInfo(index, info)) return kInvalidArgument;
        copyAscii(info->name, sizeof info->name, plugin->name);
        return kResultOk;
    }
    tresult VST3_CALL getClassInfo2(int32 index, PClassInfo2* info) override {
        if (!startClassInfo(index, info)) return kInvalidArgument;
        copyAscii(info->name, sizeof info->name, plugin->name);
        info->classFlags = 0;  // one object processes and controls: not distributable
        copyAscii(info->subCategories, sizeof info->subCategories, plugin->subCategories);
        copyAscii(info->vendor, sizeof info->vendor, plugin->vendor);
        copyAscii(info->version, sizeof info->version, plugin->version);
        copyAscii(info->sdkVersion, sizeof info->sdkVersion, kSdkVersion);
        return kResultOk;
    }
    tresult VST3_CALL getClassInfoUnicode(int32 index, PClassInfoW* info) override {
        if (!startClassInfo(index, info)) return kInvalidArgument;
        toUtf16(plugin->name, info->name, 64);
        info->classFlags = 0;
        copyAscii(info->subCategories, sizeof info->subCategories, plugin->subCategories);
        toUtf16(plugin->vendor, info->vendor, 64);
        toUtf16(plugin->version, info->version, 64);
        toUtf16(kSdkVersion, info->sdkVersion, 64);
        return kResultOk;
    }
    tresult VST3_CALL createInstance(FIDString cid, FIDString iid, void** obj) override {
        if (obj == nullptr) return kInvalidArgument;
        *obj = nullptr;
        if (cid == nullptr || iid == nullptr || !sameTuid(cid, classId())) return kNoInterface;
        Plugin* made = Plugin::create(*plugin, runLoop);
        if (made == nullptr) return kOutOfMemory;
        const tresult result = made->queryInterface(iid, obj);
        made->release();  // the creation reference; the query holds the caller's
        return result;
    }
    tresult VST3_CALL setHostContext(FUnknown* context) override {
        // Hosts may hand their run loop here; views take the frame's first.
        if (runLoop) runLoop->release();
        runLoop = nullptr;
        if (context) {
            void* found = nullptr;
            if (context->queryInterface(Linux::IRunLoop::iid.data(), &found) == kResultOk && found)
                runLoop = static_cast<Linux::IRunLoop*>(found);
        }
        return kResultOk;
    }

private:
    Tuid classId() const {
        return makeTuid(plugin->classId[0], plugin->classId[1], plugin->classId[2], plugin->classId[3]);
    }

    // What the three class-info records share: the one class's ID, count and
    // category; false for an index past it.
    template <typename Info>
    bool startClassInfo(int32 index, Info* info) const {
        if (info == nullptr || index != 0) return false;
        std::memset(info, 0, sizeof *info);
        std::memcpy(info->cid, classId().bytes, 16);
        info->cardinality = kManyInstances;
        copyAscii(info->category, sizeof info->category, kAudioModuleClass);
        return true;
    }

    const PluginClass* plugin = nullptr;
    std::atomic<uint32> references{0};
    Linux::IRunLoop* runLoop = nullptr;
};

Factory gFactory;
std::atomic<int> gEntries{0};

}  // namespace

IPluginFactory3* moduleFactory(const PluginClass& plugin) {
    gFactory.bind(plugin);
    gFactory.addRef();
    return &gFactory;
}

// Nothing in the module needs setting up or tearing down beyond what the
// first instance does; the count only keeps repeated calls paired.
bool moduleEntry() {
    ++gEntries;
    return true;
}

bool moduleExit() {
    int n = gEntries.load();
    while (n > 0 && !gEntries.compare_exchange_weak(n, n - 1)) {
    }
    return n > 0;
}

}  // namespace vst3face
