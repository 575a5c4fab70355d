// tonarvo-snapshot: the interface as a PNG, headless.
//
//   tonarvo-snapshot OUT.png [options]
//     --audio FILE            process this file through the effect first
//     --slider N=VALUE        set slider N to VALUE (in its own units)
//     --mouse down|move|up X Y [BUTTONS]
//                             a mouse event; BUTTONS as the editor view
//                             reports them (2 left, 8 right, 16 shift,
//                             32 control, 64 alt, 4 middle)
//     --frames N              frames to draw; the last one is written (default 1)
//     --age SECONDS           seconds since switch-on as the indicators see it
//     --sample-rate HZ        rate without --audio (default 44100)
//     --scale S               draw at S device pixels per layout pixel,
//                             1 to 4 (default 1); mouse positions stay in
//                             layout pixels
#include <sndfile.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "editor/EditorScale.h"
#include "editor/cairo/CairoGraphics.h"
#include "editor/cairo/OffscreenPaint.h"
#include "effect/TPlexaEffect.h"
#include "host/CVeST.h"
#include "host/PluginEntry.h"
#include "runtime/platform/Platform.h"

namespace {

vst2::VstIntPtr host(vst2::AEffect*, std::int32_t opcode, std::int32_t, vst2::VstIntPtr, void*, float) {
    return opcode == vst2::audioMasterVersion ? 2400 : 0;
}

std::int64_t gAge = 0;
std::int64_t agedClock() {
    platform::Hooks none;
    const platform::Hooks mine = platform::setHooks(none);
    const std::int64_t now = platform::calendarSeconds();
    platform::setHooks(mine);
    return now + gAge;
}

int usage(const char* why) {
    if (why) std::fprintf(stderr, "tonarvo-snapshot: %s\n", why);
    std::fprintf(stderr,
                 "usage: tonarvo-snapshot OUT.png [--audio FILE] [--slider N=VALUE]... "
                 "[--mouse down|move|up X Y [BUTTONS]]... [--frames N] [--age SECONDS] [--sample-rate HZ] "
                 "[--scale S]\n");
    return 2;
}

struct MouseEvent {
    std::string kind;
    double x, y;
    int buttons;
};

bool processFile(vst2::AEffect* effect, const std::string& path, float* rate) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        std::fprintf(stderr, "tonarvo-snapshot: cannot read %s: %s\n", path.c_str(), sf_strerror(nullptr));
        return false;
    }
    if (info.channels < 1 || info.channels > 2) {
        std::fprintf(stderr, "tonarvo-snapshot: %s has %d channels; 1 or 2 expected\n", path.c_str(), info.channels);
        sf_close(file);
        return false;
    }
    *rate = static_cast<float>(info.samplerate);
    effect->dispatcher(effect, vst2::effSetSampleRate, 0, 0, nullptr, *rate);
    effect->dispatcher(effect, vst2::effMainsChanged, 0, 1, nullptr, 0);
    constexpr int kBlock = 512;
    std::vector<float> interleaved(static_cast<std::size_t>(kBlock * info.channels));
    std::vector<float> left(kBlock), right(kBlock);
    float* inputs[2] = {left.data(), right.data()};
    for (;;) {
        const sf_count_t frames = sf_readf_float(file, interleaved.data(), kBlock);
        if (frames <= 0) break;
        for (sf_count_t i = 0; i < frames; ++i) {
            left[static_cast<std::size_t>(i)] = interleaved[static_cast<std::size_t>(i * info.channels)];
            right[static_cast<std::size_t>(i)] = interleaved[static_cast<std::size_t>(i * info.channels + info.channels - 1)];
        }
        effect->processReplacing(effect, inputs, inputs, static_cast<std::int32_t>(frames));
    }
    sf_close(file);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0) return usage(nullptr);
    const std::string out = argv[1];
    std::string audio;
    std::vector<std::pair<int, double>> sliders;
    std::vector<MouseEvent> mouse;
    int frames = 1;
    float rate = 44100;
    double scale = 1.0;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (arg == "--audio") {
            const char* value = next();
            if (!value) return usage("--audio needs a file");
            audio = value;
        } else if (arg == "--slider") {
            const char* value = next();
            int number;
            double setting;
            if (!value || std::sscanf(value, "%d=%lf", &number, &setting) != 2 || number < 0 || number > 127)
                return usage("--slider takes N=VALUE with N from 0 to 127");
            sliders.emplace_back(number, setting);
        } else if (arg == "--mouse") {
            MouseEvent event{};
            const char* kind = next();
            const char* x = next();
            const char* y = next();
            if (!kind || !x || !y) return usage("--mouse takes down|move|up X Y [BUTTONS]");
            event.kind = kind;
            if (event.kind != "down" && event.kind != "move" && event.kind != "up") return usage("unknown mouse event");
            event.x = std::atof(x);
            event.y = std::atof(y);
            if (i + 1 < argc && argv[i + 1][0] != '-') event.buttons = std::atoi(argv[++i]);
            mouse.push_back(event);
        } else if (arg == "--frames") {
            const char* value = next();
            frames = value ? std::atoi(value) : 0;
            if (frames < 1 || frames > 100000) return usage("--frames takes 1 to 100000");
        } else if (arg == "--age") {
            const char* value = next();
            if (!value) return usage("--age needs seconds");
            gAge = std::atoll(value);
        } else if (arg == "--sample-rate") {
            const char* value = next();
            rate = value ? static_cast<float>(std::atof(value)) : 0;
            if (!(rate > 0)) return usage("--sample-rate takes a positive rate");
        } else if (arg == "--scale") {
            scale = editor_scale::parse(next());
            if (scale == 0) return usage("--scale takes a number from 1 to 4");
        } else {
            return usage(("unknown option " + arg).c_str());
        }
    }

    gfx::installGraphicsPlatform(&gfx::cairoGraphicsPlatform());
    vst2::AEffect* effect = vsthost::createPluginInstance<TPlexaEffect>(&host);
    if (!effect) return usage("the effect could not be created");
    auto* adapter = static_cast<CVeST*>(effect->object);
    auto* tonarvo = static_cast<TPlexaEffect*>(adapter->effect);
    effect->dispatcher(effect, vst2::effOpen, 0, 0, nullptr, 0);
    for (const auto& [number, value] : sliders) tonarvo->sliderValues[number] = value;

    int status = 0;
    if (!audio.empty()) {
        if (!processFile(effect, audio, &rate)) status = 1;
    } else {
        effect->dispatcher(effect, vst2::effSetSampleRate, 0, 0, nullptr, rate);
        effect->dispatcher(effect, vst2::effMainsChanged, 0, 1, nullptr, 0);
        // One block, so the sample section has set what the interface shows.
        float silence[64] = {};
        float* channels[2] = {silence, silence};
        effect->processReplacing(effect, channels, channels, 64);
    }

    if (status == 0) {
        platform::Hooks hooks;
        hooks.calendarSeconds = &agedClock;
        platform::setHooks(hooks);
        for (const MouseEvent& event : mouse) {
            if (event.kind == "down") tonarvo->mouseDown(event.x, event.y, event.buttons);
            if (event.kind == "move") tonarvo->mouseMoved(event.x, event.y);
            if (event.kind == "up") tonarvo->mouseUp(event.x, event.y);
        }
        for (int frame = 0; frame < frames; ++frame) {
            OffscreenPaint paint(adapter, 681, 371, OffscreenPaint::Background::Black, scale);
            tonarvo->gfxSection();
            if (frame + 1 == frames && !paint.writePng(out)) {
                std::fprintf(stderr, "tonarvo-snapshot: cannot write %s\n", out.c_str());
                status = 1;
            }
        }
    }
    effect->dispatcher(effect, vst2::effClose, 0, 0, nullptr, 0);
    if (status == 0) std::printf("%s\n", out.c_str());
    return status;
}
