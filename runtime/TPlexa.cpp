#include "runtime/TPlexa.h"

#include <cstring>
#include <utility>
#include <vector>

#include "runtime/SharedValue.h"
#include "runtime/platform/Platform.h"
#include "runtime/spectral/FftTables.h"

namespace plexa {

TPlexa::TPlexa() {
    spectral::fftInit();
    openRuntime();
}

TPlexa::~TPlexa() = default;

void TPlexa::openRuntime() {
    clearMemory();
    stringTable.clear();  // image names and loaded images survive an open
    lastFrameTick = 0;
}

void TPlexa::onOpen() { openRuntime(); }

void TPlexa::onResume() {
    initSection();
    sliderSection();
}

void TPlexa::switchOn() {
    initHandedOver.store(false, std::memory_order_relaxed);  // the resume initialises anyway
    switchedOn.store(true, std::memory_order_release);
    onResume();
}

void TPlexa::switchOff() {
    onSuspend();
    switchedOn.store(false, std::memory_order_release);
}

std::uint32_t TPlexa::initOnce() {
    if (initCount == 0) {
        if (switchedOn.load(std::memory_order_acquire))
            initHandedOver.store(true, std::memory_order_release);
        else
            initSection();
    }
    return ++initCount;
}

void TPlexa::beginProcessing() {
    if (initHandedOver.load(std::memory_order_relaxed) && initHandedOver.exchange(false, std::memory_order_acq_rel))
        initSection();
}

void TPlexa::frameTick() {
    const double frameRate = readShared(this->frameRate);
    if (!(frameRate > 0.0)) return;
    // Counted forward: a signed difference from a last request more than 2^31
    // ms back (the 0 an open leaves, once the clock has passed 24.9 days of
    // uptime) would stay negative and no frame would ever come.
    if (static_cast<double>(platform::frameClockMsSince(lastFrameTick)) > 1000.0 / frameRate) {
        hostRedrawEditor();
        lastFrameTick = platform::frameClockMs();
    }
}

std::int32_t TPlexa::writeStateChunk(void** data) {
    FileRecord& stream = stateStream();
    resetStream(stream, FileRecord::Writing);
    stream.data.push_back(kStateMarker);
    stream.position = 1;
    serializeSection();
    const std::size_t bytes = stream.data.size() * sizeof(float);
    if (bytes == sizeof(float)) return 0;  // the section wrote nothing: no chunk
    if (data) *data = stream.data.data();
    return static_cast<std::int32_t>(bytes);
}

std::int32_t TPlexa::writeStateChunkWith(void** data, const double* sliders) {
    savedSliders = sliders;
    const std::int32_t bytes = writeStateChunk(data);
    savedSliders = nullptr;
    return bytes;
}

std::int32_t TPlexa::readStateChunk(const void* data, std::int32_t length) {
    FileRecord& stream = stateStream();
    // Copied before the reset: a host may hand back the very bytes the last
    // save pointed it at, which the reset would free.
    std::vector<float> incoming;
    if (length >= 4 && data != nullptr) {
        incoming.resize(static_cast<std::size_t>(length / 4));
        std::memcpy(incoming.data(), data, incoming.size() * sizeof(float));
    }
    resetStream(stream, FileRecord::Reading);
    stream.data = std::move(incoming);
    if (stream.data.empty()) return length;
    double marker = 0.0;
    streamValue(stream, marker);
    if (!(marker == static_cast<double>(kStateMarker))) return length;
    initOnce();
    serializeSection();
    sliderSection();
    return length;
}

}  // namespace plexa
