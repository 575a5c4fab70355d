#include "host/clap/ClapEntry.h"

#include <cstring>
#include <mutex>

#include "host/clap/ClapPlugin.h"

namespace clapface {

Factory makeFactory(const PluginRecord& record) {
    Factory factory{};
    factory.record = &record;
    factory.clap.get_plugin_count = [](const clap_plugin_factory_t*) -> std::uint32_t { return 1; };
    factory.clap.get_plugin_descriptor = [](const clap_plugin_factory_t* f,
                                            std::uint32_t index) -> const clap_plugin_descriptor_t* {
        return f && index == 0 ? &reinterpret_cast<const Factory*>(f)->record->descriptor : nullptr;
    };
    factory.clap.create_plugin = [](const clap_plugin_factory_t* f, const clap_host_t* host,
                                    const char* id) -> const clap_plugin_t* {
        if (!f || !id) return nullptr;
        const PluginRecord& r = *reinterpret_cast<const Factory*>(f)->record;
        // Only the exact id: a validator appends text to a real one.
        if (std::strcmp(id, r.descriptor.id) != 0) return nullptr;
        return createPlugin(r, host);
    };
    return factory;
}

namespace {
std::mutex gEntryMutex;
int gEntryCount = 0;
}  // namespace

// Nothing to set up or tear down beyond the count: instances carry all they need.
bool entryInit(const char*) {
    const std::lock_guard<std::mutex> lock(gEntryMutex);
    ++gEntryCount;
    return true;
}

void entryDeinit() {
    const std::lock_guard<std::mutex> lock(gEntryMutex);
    if (gEntryCount > 0) --gEntryCount;
}

}  // namespace clapface
