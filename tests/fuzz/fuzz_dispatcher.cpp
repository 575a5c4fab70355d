// Drives one instance through a sequence of host calls decoded from the
// input: dispatcher opcodes with arbitrary index, value and option, parameter
// writes and reads, and small processing calls. Every pointer handed to the
// plug-in is valid and large enough for what the opcode may write, so any
// fault found is the plug-in's.
#include <cmath>
#include <limits>
#include <vector>

#include "FuzzHost.h"

using namespace fuzz;

namespace {

constexpr std::size_t kBufferSize = 4096;
constexpr int kMaxSteps = 256;
constexpr VstInt32 kMaxFrames = 64;

float specialFloat(std::uint8_t pick) {
    const float values[] = {std::numeric_limits<float>::quiet_NaN(),
                            -std::numeric_limits<float>::quiet_NaN(),
                            std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(),
                            0.0f,
                            -0.0f,
                            1.0f,
                            0.5f,
                            std::numeric_limits<float>::max(),
                            std::numeric_limits<float>::denorm_min(),
                            44100.0f,
                            -1.0f};
    return values[pick % (sizeof values / sizeof values[0])];
}

// Half the time a value of interest, otherwise any bit pattern.
float readFloat(ByteReader& in) {
    const std::uint8_t tag = in.u8();
    if (tag & 1) return specialFloat(tag >> 1);
    return in.read<float>();
}

VstInt32 readIndex(ByteReader& in) {
    const std::uint8_t tag = in.u8();
    if (tag < 240) return static_cast<VstInt32>(static_cast<std::int8_t>(tag));
    return in.read<VstInt32>();
}

VstIntPtr readValue(ByteReader& in) {
    const std::uint8_t tag = in.u8();
    if (tag < 240) return static_cast<VstIntPtr>(static_cast<std::int8_t>(tag));
    return in.read<std::int64_t>();
}

VstInt32 readOpcode(ByteReader& in) {
    const std::uint8_t tag = in.u8();
    if (tag < 240) return static_cast<VstInt32>(tag % 88) - 2;  // -2 to 85
    return in.read<VstInt32>();
}

bool isTextGetter(VstInt32 opcode) {
    switch (opcode) {
        case effGetProgramName:
        case effGetParamLabel:
        case effGetParamDisplay:
        case effGetParamName:
        case effGetEffectName:
        case effGetVendorString:
        case effGetProductString: return true;
        default: return false;
    }
}

struct alignas(16) Buffer {
    std::uint8_t bytes[kBufferSize];
};

struct EventList {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[8];
};

// Every byte of a chunk the plug-in hands out must be readable.
unsigned readAll(const void* data, VstIntPtr size) {
    unsigned sum = 0;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    for (VstIntPtr i = 0; i < size; ++i) sum += bytes[i];
    return sum;
}

void dispatchStep(AEffect* e, ByteReader& in, Buffer& buffer) {
    const VstInt32 opcode = readOpcode(in);
    const VstInt32 index = readIndex(in);
    VstIntPtr value = readValue(in);
    const float opt = readFloat(in);
    if (opcode == effClose) return;  // only as the last step

    std::memset(buffer.bytes, 0, sizeof buffer.bytes);
    void* ptr = buffer.bytes;
    void* speakerPlaceIn = &buffer;
    void* speakerPlaceOut = &buffer;
    std::vector<VstMidiEvent> midi;
    std::vector<VstMidiSysexEvent> sysex;
    EventList events{};

    switch (opcode) {
        case effSetProgramName:
        case effCanDo:
        case effString2Parameter: {
            // A terminated text of up to 300 characters.
            const std::size_t length = in.u8() + (in.u8() & 0x2F);
            in.bytes(buffer.bytes, length);
            buffer.bytes[length] = 0;
            break;
        }
        case effSetChunk: {
            const std::size_t length = in.read<std::uint16_t>() % (kBufferSize + 1);
            in.bytes(buffer.bytes, length);
            if (in.u8() & 1) value = static_cast<VstIntPtr>(length);
            // Sizes the dispatcher must refuse stay as they are; any other
            // size must fit the buffer behind the pointer.
            if (value >= 0 && value <= INT32_MAX) value %= static_cast<VstIntPtr>(kBufferSize + 1);
            break;
        }
        case effProcessEvents: {
            const int count = in.u8() % 9;
            midi.resize(8);
            sysex.resize(8);
            events.numEvents = count;
            for (int i = 0; i < count; ++i) {
                const std::uint8_t kind = in.u8();
                const auto slot = static_cast<std::size_t>(i);
                if (kind % 4 == 3) {
                    events.events[i] = nullptr;
                } else if (kind % 4 == 2) {
                    sysex[slot] = VstMidiSysexEvent{};
                    sysex[slot].type = kVstSysExType;
                    sysex[slot].byteSize = sizeof(VstMidiSysexEvent);
                    sysex[slot].dumpBytes = 0;
                    events.events[i] = reinterpret_cast<VstEvent*>(&sysex[slot]);
                } else {
                    in.bytes(&midi[slot], sizeof(VstMidiEvent));
                    if (kind % 4 == 0) midi[slot].type = kVstMidiType;
                    events.events[i] = reinterpret_cast<VstEvent*>(&midi[slot]);
                }
            }
            ptr = &events;
            break;
        }
        case effGetSpeakerArrangement:
            value = (in.u8() & 1) ? reinterpret_cast<VstIntPtr>(&speakerPlaceIn) : 0;
            ptr = &speakerPlaceOut;
            break;
        default: break;
    }
    // Now and then no pointer at all: hosts do send null for unused pointers.
    if (opcode != effGetSpeakerArrangement && (in.u8() & 0x0F) == 0) ptr = nullptr;

    const VstIntPtr answer = dispatch(e, opcode, index, value, ptr, opt);

    if (ptr == nullptr) return;
    if (opcode == effGetChunk) {
        void* chunk = nullptr;
        std::memcpy(&chunk, buffer.bytes, sizeof chunk);
        FUZZ_CHECK(answer == 260 && chunk != nullptr);
        (void)readAll(chunk, answer);
    } else if (opcode == effEditGetRect) {
        ERect* rect = nullptr;
        std::memcpy(&rect, buffer.bytes, sizeof rect);
        FUZZ_CHECK(answer == 1 && rect != nullptr);
        FUZZ_CHECK(rect->top == 0 && rect->left == 0 && rect->bottom == 371 && rect->right == 681);
    } else if (opcode == effGetSpeakerArrangement) {
        FUZZ_CHECK(speakerPlaceOut == nullptr);
        if (value != 0) FUZZ_CHECK(speakerPlaceIn == nullptr);
    } else if (isTextGetter(opcode)) {
        // Host texts stop within 64 bytes, terminator included.
        FUZZ_CHECK(std::memchr(buffer.bytes, 0, 64) != nullptr);
        for (std::size_t i = 64; i < kBufferSize; ++i) FUZZ_CHECK(buffer.bytes[i] == 0);
    } else if (opcode == effProcessEvents) {
        FUZZ_CHECK(answer == 1);
    }
}

template <typename Sample>
void processStep(AEffect* e, ByteReader& in) {
    const VstInt32 frames = static_cast<VstInt32>(in.u8() % (kMaxFrames + 3)) - 2;  // -2 to 64
    const std::uint8_t layout = in.u8();
    std::vector<Sample> left(kMaxFrames), right(kMaxFrames), outLeft(kMaxFrames), outRight(kMaxFrames);
    for (VstInt32 i = 0; i < kMaxFrames && !in.empty(); ++i) {
        left[static_cast<std::size_t>(i)] = static_cast<Sample>(readFloat(in));
        right[static_cast<std::size_t>(i)] = static_cast<Sample>(readFloat(in));
        if (i >= frames) break;
    }
    Sample* inputs[2] = {left.data(), right.data()};
    Sample* outputs[2] = {outLeft.data(), outRight.data()};
    Sample** inArg = inputs;
    Sample** outArg = (layout & 1) ? inputs : outputs;  // in place
    if ((layout & 0x1E) == 0x1E) inArg = nullptr;       // missing arrays
    if ((layout & 0xE0) == 0xE0) outputs[1] = nullptr;  // a missing channel
    if constexpr (sizeof(Sample) == sizeof(float))
        e->processReplacing(e, inArg, outArg, frames);
    else
        e->processDoubleReplacing(e, inArg, outArg, frames);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ByteReader in(data, size);
    const std::uint8_t hostMode = in.u8();
    gGiveTimeInfo = hostMode & 1;
    in.bytes(&gTimeInfo, sizeof gTimeInfo);

    AEffect* e = createEffect();
    static Buffer buffer;
    for (int step = 0; step < kMaxSteps && !in.empty(); ++step) {
        switch (in.u8() % 10) {
            case 0:
            case 1:
            case 2:
            case 3:
            case 4:
            case 5: dispatchStep(e, in, buffer); break;
            case 6: e->setParameter(e, readIndex(in), readFloat(in)); break;
            case 7: {
                const VstInt32 index = readIndex(in);
                const float v = e->getParameter(e, index);
                if (index < 0 || index >= e->numParams) FUZZ_CHECK(v == 0.0f);
                break;
            }
            case 8: processStep<float>(e, in); break;
            default: processStep<double>(e, in); break;
        }
    }
    FUZZ_CHECK(dispatch(e, effClose) == 1);
    return 0;
}
