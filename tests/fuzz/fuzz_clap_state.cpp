// Loads arbitrary bytes as CLAP state through a stream that hands them over
// in pieces of varying size (the first byte chooses), then checks what a host
// can read, saves, loads the save into a fresh instance and processes.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "host/clap/ClapAbi.h"

extern "C" const clap_plugin_entry_t clap_entry;

#define FUZZ_CHECK(condition) \
    do {                      \
        if (!(condition)) __builtin_trap(); \
    } while (0)

namespace {

const clap_host_t kHost{CLAP_VERSION_INIT, nullptr, "fuzz", "", "", "1",
                        [](const clap_host_t*, const char*) -> const void* { return nullptr; },
                        [](const clap_host_t*) {}, [](const clap_host_t*) {}, [](const clap_host_t*) {}};

struct Reader {
    const std::uint8_t* data;
    std::size_t size, at, step;
};

std::int64_t readSome(const clap_istream_t* stream, void* buffer, std::uint64_t wanted) {
    auto* r = static_cast<Reader*>(stream->ctx);
    std::size_t n = std::min<std::size_t>({static_cast<std::size_t>(wanted), r->step, r->size - r->at});
    std::memcpy(buffer, r->data + r->at, n);
    r->at += n;
    return static_cast<std::int64_t>(n);
}

std::int64_t writeAll(const clap_ostream_t* stream, const void* buffer, std::uint64_t size) {
    auto* bytes = static_cast<std::vector<std::uint8_t>*>(stream->ctx);
    const auto* from = static_cast<const std::uint8_t*>(buffer);
    bytes->insert(bytes->end(), from, from + size);
    return static_cast<std::int64_t>(size);
}

struct Instance {
    Instance() {
        const auto* factory =
            static_cast<const clap_plugin_factory_t*>(clap_entry.get_factory(CLAP_PLUGIN_FACTORY_ID));
        plugin = factory->create_plugin(factory, &kHost, factory->get_plugin_descriptor(factory, 0)->id);
        FUZZ_CHECK(plugin && plugin->init(plugin));
        state = static_cast<const clap_plugin_state_t*>(plugin->get_extension(plugin, CLAP_EXT_STATE));
        params = static_cast<const clap_plugin_params_t*>(plugin->get_extension(plugin, CLAP_EXT_PARAMS));
        FUZZ_CHECK(state && params);
    }
    ~Instance() { plugin->destroy(plugin); }

    bool load(const std::uint8_t* data, std::size_t size, std::size_t step) {
        Reader reader{data, size, 0, step};
        const clap_istream_t stream{&reader, &readSome};
        return state->load(plugin, &stream);
    }
    std::vector<double> values() const {
        std::vector<double> out(params->count(plugin));
        for (std::uint32_t p = 0; p < out.size(); ++p) {
            FUZZ_CHECK(params->get_value(plugin, p, &out[p]));
            FUZZ_CHECK(std::isfinite(out[p]));
        }
        return out;
    }

    const clap_plugin_t* plugin = nullptr;
    const clap_plugin_state_t* state = nullptr;
    const clap_plugin_params_t* params = nullptr;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool entered = clap_entry.init("fuzz");
    FUZZ_CHECK(entered);
    if (size == 0) return 0;
    const std::size_t step = 1 + data[0] % 64;
    Instance first;
    const bool loaded = first.load(data + 1, size - 1, step);
    const std::vector<double> values = first.values();

    std::vector<std::uint8_t> saved;
    const clap_ostream_t out{&saved, &writeAll};
    FUZZ_CHECK(first.state->save(first.plugin, &out));
    Instance second;
    FUZZ_CHECK(second.load(saved.data(), saved.size(), saved.size()));
    // A save gives back the very values it was made from, whatever was loaded.
    const std::vector<double> again = second.values();
    FUZZ_CHECK(std::memcmp(again.data(), values.data(), values.size() * sizeof(double)) == 0);
    (void)loaded;

    float left[16], right[16];
    for (int i = 0; i < 16; ++i) left[i] = right[i] = static_cast<float>(i) / 16.0f - 0.5f;
    float* io[2] = {left, right};
    clap_audio_buffer_t buffer{io, nullptr, 2, 0, 0};
    const clap_input_events_t none{nullptr, [](const clap_input_events_t*) -> std::uint32_t { return 0; },
                                   [](const clap_input_events_t*, std::uint32_t) -> const clap_event_header_t* {
                                       return nullptr;
                                   }};
    const clap_output_events_t drop{nullptr,
                                    [](const clap_output_events_t*, const clap_event_header_t*) { return true; }};
    FUZZ_CHECK(first.plugin->activate(first.plugin, 44100.0, 1, 16));
    FUZZ_CHECK(first.plugin->start_processing(first.plugin));
    const clap_process_t block{0, 16, nullptr, &buffer, &buffer, 1, 1, &none, &drop};
    first.plugin->process(first.plugin, &block);
    for (int i = 0; i < 16; ++i) FUZZ_CHECK(std::isfinite(left[i]) && std::isfinite(right[i]));
    first.plugin->stop_processing(first.plugin);
    first.plugin->deactivate(first.plugin);
    return 0;
}
