// Windows side of the Linux/Windows comparison: renders every scenario of
// CrossRender.h through the DLL and writes the results one after another
// (each planar stereo, in the order of allScenarios).
//   tonarvo_render_raw PLUGIN.dll INPUT.f64 OUTPUT.f64
// The input is planar stereo doubles (all left samples, then all right).
#include <cstdio>

#include "CrossRender.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s PLUGIN INPUT OUTPUT\n", argv[0]);
        return 2;
    }
    crossrender::Audio input;
    if (!crossrender::readDoubles(argv[2], input.samples) || input.samples.empty() || input.samples.size() % 2 != 0) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 1;
    }
    input.frames = input.samples.size() / 2;
    void* library = crossrender::openLibrary(argv[1]);
    const vst2::VstPluginMainProc entry = library ? crossrender::entryOf(library) : nullptr;
    if (entry == nullptr) {
        std::fprintf(stderr, "cannot load %s\n", argv[1]);
        return 1;
    }
    std::vector<double> all;
    for (const crossrender::Scenario& scenario : crossrender::allScenarios(input.frames)) {
        const crossrender::Audio out = crossrender::render(entry, scenario, input);
        if (out.samples.empty()) {
            std::fprintf(stderr, "render %s failed\n", scenario.name);
            return 1;
        }
        all.insert(all.end(), out.samples.begin(), out.samples.end());
    }
    if (!crossrender::writeDoubles(argv[3], all)) {
        std::fprintf(stderr, "cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
