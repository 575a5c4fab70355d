// The VST 3 binary interface as plug-ins and hosts meet it: result codes,
// interface identifiers, vtable layouts and the structures passed between
// them, declared from the interface's documented facts. Shared by the
// plug-in face and by the tools that host .vst3 bundles, so nothing here
// knows about any plug-in.
//
// Rules that keep these declarations binary-compatible: an interface is a
// class of pure virtual methods in the exact slot order, single inheritance,
// no virtual destructor and no overloads; names do not matter, only slots and
// signatures (so IComponent's and IEditController's get/setState pairs get
// different names here, letting one class implement both).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(_WIN32) && !defined(_WIN64)
#define VST3_CALL __stdcall
#else
#define VST3_CALL
#endif

namespace vst3 {

using int8 = char;
using uint8 = std::uint8_t;
using int16 = std::int16_t;
using uint16 = std::uint16_t;
using int32 = std::int32_t;
using uint32 = std::uint32_t;
using int64 = std::int64_t;
using uint64 = std::uint64_t;
using tresult = int32;
using TBool = uint8;
using char8 = char;
using char16 = char16_t;
using TChar = char16;
using String128 = TChar[128];
using FIDString = const char8*;
using CString = const char8*;
using TSize = int64;
using UCoord = int32;
using ParamID = uint32;
using ParamValue = double;
using Sample32 = float;
using Sample64 = double;
using SampleRate = double;
using TSamples = int64;
using TQuarterNotes = double;
using MediaType = int32;
using BusDirection = int32;
using BusType = int32;
using IoMode = int32;
using UnitID = int32;
using ProgramListID = int32;
using KnobMode = int32;
using SpeakerArrangement = uint64;
using Speaker = uint64;
using FileDescriptor = int;
using TimerInterval = uint64;
using ScaleFactor = float;
using AttrID = const char*;

// Result codes: COM's on Windows, small numbers elsewhere. Success is 0
// everywhere; "false" is 1.
#if defined(_WIN32)
constexpr tresult kNoInterface = static_cast<tresult>(0x80004002u);
constexpr tresult kResultOk = 0;
constexpr tresult kResultTrue = 0;
constexpr tresult kResultFalse = 1;
constexpr tresult kInvalidArgument = static_cast<tresult>(0x80070057u);
constexpr tresult kNotImplemented = static_cast<tresult>(0x80004001u);
constexpr tresult kInternalError = static_cast<tresult>(0x80004005u);
constexpr tresult kNotInitialized = static_cast<tresult>(0x8000FFFFu);
constexpr tresult kOutOfMemory = static_cast<tresult>(0x8007000Eu);
#else
constexpr tresult kNoInterface = -1;
constexpr tresult kResultOk = 0;
constexpr tresult kResultTrue = 0;
constexpr tresult kResultFalse = 1;
constexpr tresult kInvalidArgument = 2;
constexpr tresult kNotImplemented = 3;
constexpr tresult kInternalError = 4;
constexpr tresult kNotInitialized = 5;
constexpr tresult kOutOfMemory = 6;
#endif

// A 16-byte identifier. Written as four 32-bit words; on Windows the bytes
// are a GUID's memory (first word little-endian, the second's halves each
// little-endian, the rest big-endian), elsewhere all four words big-endian.
struct Tuid {
    char8 bytes[16];
    const char8* data() const { return bytes; }
    bool operator==(const char8* other) const { return other != nullptr && std::memcmp(bytes, other, 16) == 0; }
};
using TUID = char8[16];

constexpr Tuid makeTuid(uint32 l1, uint32 l2, uint32 l3, uint32 l4) {
    Tuid id{};
    const auto byte = [](uint32 word, int shift) { return static_cast<char8>(static_cast<uint8>(word >> shift)); };
#if defined(_WIN32)
    id.bytes[0] = byte(l1, 0);
    id.bytes[1] = byte(l1, 8);
    id.bytes[2] = byte(l1, 16);
    id.bytes[3] = byte(l1, 24);
    id.bytes[4] = byte(l2, 16);
    id.bytes[5] = byte(l2, 24);
    id.bytes[6] = byte(l2, 0);
    id.bytes[7] = byte(l2, 8);
#else
    for (int k = 0; k < 4; ++k) {
        id.bytes[k] = byte(l1, 24 - 8 * k);
        id.bytes[4 + k] = byte(l2, 24 - 8 * k);
    }
#endif
    for (int k = 0; k < 4; ++k) {
        id.bytes[8 + k] = byte(l3, 24 - 8 * k);
        id.bytes[12 + k] = byte(l4, 24 - 8 * k);
    }
    return id;
}

// The printable form (moduleinfo.json, snapshot names): the four words as 32
// upper-case hex digits, the same on every platform.
struct PrintedTuid {
    char text[33];
};
constexpr PrintedTuid printTuid(uint32 l1, uint32 l2, uint32 l3, uint32 l4) {
    PrintedTuid out{};
    const uint32 words[4] = {l1, l2, l3, l4};
    for (int w = 0; w < 4; ++w)
        for (int d = 0; d < 8; ++d) out.text[8 * w + d] = "0123456789ABCDEF"[(words[w] >> (28 - 4 * d)) & 0xF];
    out.text[32] = '\0';
    return out;
}

// The printable form of 16 bytes in this platform's order.
inline PrintedTuid printTuid(const char8* bytes) {
    const auto b = [bytes](int k) { return static_cast<uint32>(static_cast<uint8>(bytes[k])); };
    const auto big = [&b](int k) { return b(k) << 24 | b(k + 1) << 16 | b(k + 2) << 8 | b(k + 3); };
#if defined(_WIN32)
    const uint32 l1 = b(3) << 24 | b(2) << 16 | b(1) << 8 | b(0);
    const uint32 l2 = b(5) << 24 | b(4) << 16 | b(7) << 8 | b(6);
#else
    const uint32 l1 = big(0), l2 = big(4);
#endif
    return printTuid(l1, l2, big(8), big(12));
}

inline bool sameTuid(const char8* a, const Tuid& b) { return a != nullptr && std::memcmp(a, b.bytes, 16) == 0; }

#define VST3_IID(l1, l2, l3, l4) static constexpr ::vst3::Tuid iid = ::vst3::makeTuid(l1, l2, l3, l4)

// ---------------------------------------------------------------- basics

class FUnknown {
public:
    VST3_IID(0x00000000, 0x00000000, 0xC0000000, 0x00000046);
    virtual tresult VST3_CALL queryInterface(const TUID iid, void** obj) = 0;
    virtual uint32 VST3_CALL addRef() = 0;
    virtual uint32 VST3_CALL release() = 0;
};

class IPluginBase : public FUnknown {
public:
    VST3_IID(0x22888DDB, 0x156E45AE, 0x8358B348, 0x08190625);
    virtual tresult VST3_CALL initialize(FUnknown* context) = 0;
    virtual tresult VST3_CALL terminate() = 0;
};

// ---------------------------------------------------------------- factory

struct PFactoryInfo {
    enum : int32 {
        kNoFlags = 0,
        kClassesDiscardable = 1 << 0,
        kLicenseCheck = 1 << 1,
        kComponentNonDiscardable = 1 << 3,
        kUnicode = 1 << 4
    };
    char8 vendor[64];
    char8 url[256];
    char8 email[128];
    int32 flags;
};

constexpr int32 kManyInstances = 0x7FFFFFFF;

struct PClassInfo {
    TUID cid;
    int32 cardinality;
    char8 category[32];
    char8 name[64];
};

struct PClassInfo2 {
    TUID cid;
    int32 cardinality;
    char8 category[32];
    char8 name[64];
    uint32 classFlags;
    char8 subCategories[128];
    char8 vendor[64];
    char8 version[64];
    char8 sdkVersion[64];
};

struct PClassInfoW {
    TUID cid;
    int32 cardinality;
    char8 category[32];
    char16 name[64];
    uint32 classFlags;
    char8 subCategories[128];
    char16 vendor[64];
    char16 version[64];
    char16 sdkVersion[64];
};

// Audio module class flags.
constexpr uint32 kDistributable = 1 << 0;
constexpr uint32 kSimpleModeSupported = 1 << 1;

constexpr const char* kAudioModuleClass = "Audio Module Class";
constexpr const char* kComponentControllerClass = "Component Controller Class";

class IPluginFactory : public FUnknown {
public:
    VST3_IID(0x7A4D811C, 0x52114A1F, 0xAED9D2EE, 0x0B43BF9F);
    virtual tresult VST3_CALL getFactoryInfo(PFactoryInfo* info) = 0;
    virtual int32 VST3_CALL countClasses() = 0;
    virtual tresult VST3_CALL getClassInfo(int32 index, PClassInfo* info) = 0;
    virtual tresult VST3_CALL createInstance(FIDString cid, FIDString iid, void** obj) = 0;
};

class IPluginFactory2 : public IPluginFactory {
public:
    VST3_IID(0x0007B650, 0xF24B4C0B, 0xA464EDB9, 0xF00B2ABB);
    virtual tresult VST3_CALL getClassInfo2(int32 index, PClassInfo2* info) = 0;
};

class IPluginFactory3 : public IPluginFactory2 {
public:
    VST3_IID(0x4555A2AB, 0xC1234E57, 0x9B122910, 0x36878931);
    virtual tresult VST3_CALL getClassInfoUnicode(int32 index, PClassInfoW* info) = 0;
    virtual tresult VST3_CALL setHostContext(FUnknown* context) = 0;
};

// The module's exported entry points.
using GetFactoryProc = IPluginFactory* (*)();
using ModuleEntryProc = bool (*)(void* sharedLibraryHandle);
using ModuleExitProc = bool (*)();
using InitDllProc = bool (*)();
using ExitDllProc = bool (*)();

// ---------------------------------------------------------------- streams

class IBStream : public FUnknown {
public:
    VST3_IID(0xC3BF6EA2, 0x30994752, 0x9B6BF990, 0x1EE33E9B);
    enum : int32 { kIBSeekSet = 0, kIBSeekCur = 1, kIBSeekEnd = 2 };
    virtual tresult VST3_CALL read(void* buffer, int32 numBytes, int32* numBytesRead) = 0;
    virtual tresult VST3_CALL write(void* buffer, int32 numBytes, int32* numBytesWritten) = 0;
    virtual tresult VST3_CALL seek(int64 pos, int32 mode, int64* result) = 0;
    virtual tresult VST3_CALL tell(int64* pos) = 0;
};

class ISizeableStream : public FUnknown {
public:
    VST3_IID(0x04F9549E, 0xE02F4E6E, 0x87E86A87, 0x47F4E17F);
    virtual tresult VST3_CALL getStreamSize(int64* size) = 0;
    virtual tresult VST3_CALL setStreamSize(int64 size) = 0;
};

class IAttributeList : public FUnknown {
public:
    VST3_IID(0x1E5F0AEB, 0xCC7F4533, 0xA2544011, 0x38AD5EE4);
    virtual tresult VST3_CALL setInt(AttrID id, int64 value) = 0;
    virtual tresult VST3_CALL getInt(AttrID id, int64* value) = 0;
    virtual tresult VST3_CALL setFloat(AttrID id, double value) = 0;
    virtual tresult VST3_CALL getFloat(AttrID id, double* value) = 0;
    virtual tresult VST3_CALL setString(AttrID id, const TChar* string) = 0;
    virtual tresult VST3_CALL getString(AttrID id, TChar* string, uint32 sizeInBytes) = 0;
    virtual tresult VST3_CALL setBinary(AttrID id, const void* data, uint32 sizeInBytes) = 0;
    virtual tresult VST3_CALL getBinary(AttrID id, const void** data, uint32* sizeInBytes) = 0;
};

class IStreamAttributes : public FUnknown {
public:
    VST3_IID(0xD6CE2FFC, 0xEFAF4B8C, 0x9E74F1BB, 0x12DA44B4);
    virtual tresult VST3_CALL getFileName(TChar* name) = 0;
    virtual IAttributeList* VST3_CALL getAttributes() = 0;
};

// ---------------------------------------------------------------- component

enum MediaTypes : int32 { kAudio = 0, kEvent = 1, kNumMediaTypes = 2 };
enum BusDirections : int32 { kInput = 0, kOutput = 1 };
enum BusTypes : int32 { kMain = 0, kAux = 1 };
enum BusFlags : uint32 { kDefaultActive = 1 << 0, kIsControlVoltage = 1 << 1 };
enum IoModes : int32 { kSimple = 0, kAdvanced = 1, kOfflineProcessing = 2 };

struct BusInfo {
    MediaType mediaType;
    BusDirection direction;
    int32 channelCount;
    String128 name;
    BusType busType;
    uint32 flags;
};

struct RoutingInfo {
    MediaType mediaType;
    int32 busIndex;
    int32 channel;
};

class IComponent : public IPluginBase {
public:
    VST3_IID(0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802);
    virtual tresult VST3_CALL getControllerClassId(TUID classId) = 0;
    virtual tresult VST3_CALL setIoMode(IoMode mode) = 0;
    virtual int32 VST3_CALL getBusCount(MediaType type, BusDirection dir) = 0;
    virtual tresult VST3_CALL getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo* bus) = 0;
    virtual tresult VST3_CALL getRoutingInfo(RoutingInfo* inInfo, RoutingInfo* outInfo) = 0;
    virtual tresult VST3_CALL activateBus(MediaType type, BusDirection dir, int32 index, TBool state) = 0;
    virtual tresult VST3_CALL setActive(TBool state) = 0;
    virtual tresult VST3_CALL setState(IBStream* state) = 0;
    virtual tresult VST3_CALL getState(IBStream* state) = 0;
};

// ---------------------------------------------------------------- processing

namespace SpeakerArr {
constexpr SpeakerArrangement kEmpty = 0;
constexpr Speaker kSpeakerL = 1 << 0;
constexpr Speaker kSpeakerR = 1 << 1;
constexpr Speaker kSpeakerM = 1 << 19;
constexpr SpeakerArrangement kStereo = kSpeakerL | kSpeakerR;
constexpr SpeakerArrangement kMono = kSpeakerM;
}  // namespace SpeakerArr

enum SymbolicSampleSizes : int32 { kSample32 = 0, kSample64 = 1 };
enum ProcessModes : int32 { kRealtime = 0, kPrefetch = 1, kOffline = 2 };
constexpr uint32 kNoTail = 0;
constexpr uint32 kInfiniteTail = 0xFFFFFFFFu;

struct ProcessSetup {
    int32 processMode;
    int32 symbolicSampleSize;
    int32 maxSamplesPerBlock;
    SampleRate sampleRate;
};

struct AudioBusBuffers {
    int32 numChannels;
    uint64 silenceFlags;
    union {
        Sample32** channelBuffers32;
        Sample64** channelBuffers64;
    };
};

struct Chord {
    uint8 keyNote;
    uint8 rootNote;
    int16 chordMask;
};

struct FrameRate {
    enum : uint32 { kPullDownRate = 1 << 0, kDropRate = 1 << 1 };
    uint32 framesPerSecond;
    uint32 flags;
};

struct ProcessContext {
    enum StatesAndFlags : uint32 {
        kPlaying = 1 << 1,
        kCycleActive = 1 << 2,
        kRecording = 1 << 3,
        kSystemTimeValid = 1 << 8,
        kProjectTimeMusicValid = 1 << 9,
        kTempoValid = 1 << 10,
        kBarPositionValid = 1 << 11,
        kCycleValid = 1 << 12,
        kTimeSigValid = 1 << 13,
        kSmpteValid = 1 << 14,
        kClockValid = 1 << 15,
        kContTimeValid = 1 << 17,
        kChordValid = 1 << 18
    };
    uint32 state;
    double sampleRate;
    TSamples projectTimeSamples;
    int64 systemTime;
    TSamples continousTimeSamples;
    TQuarterNotes projectTimeMusic;
    TQuarterNotes barPositionMusic;
    TQuarterNotes cycleStartMusic;
    TQuarterNotes cycleEndMusic;
    double tempo;
    int32 timeSigNumerator;
    int32 timeSigDenominator;
    Chord chord;
    int32 smpteOffsetSubframes;
    FrameRate frameRate;
    int32 samplesToNextClock;
};

class IParamValueQueue : public FUnknown {
public:
    VST3_IID(0x01263A18, 0xED074F6F, 0x98C9D356, 0x4686F9BA);
    virtual ParamID VST3_CALL getParameterId() = 0;
    virtual int32 VST3_CALL getPointCount() = 0;
    virtual tresult VST3_CALL getPoint(int32 index, int32* sampleOffset, ParamValue* value) = 0;
    virtual tresult VST3_CALL addPoint(int32 sampleOffset, ParamValue value, int32* index) = 0;
};

class IParameterChanges : public FUnknown {
public:
    VST3_IID(0xA4779663, 0x0BB64A56, 0xB44384A8, 0x466FEB9D);
    virtual int32 VST3_CALL getParameterCount() = 0;
    virtual IParamValueQueue* VST3_CALL getParameterData(int32 index) = 0;
    virtual IParamValueQueue* VST3_CALL addParameterData(const ParamID* id, int32* index) = 0;
};

// Events are not read by an effect without event buses; the list is
// declared by identifier only.
class IEventList : public FUnknown {
public:
    VST3_IID(0x3A2C4214, 0x346349FE, 0xB2C4F397, 0xB9695A44);
};

struct ProcessData {
    int32 processMode;
    int32 symbolicSampleSize;
    int32 numSamples;
    int32 numInputs;
    int32 numOutputs;
    AudioBusBuffers* inputs;
    AudioBusBuffers* outputs;
    IParameterChanges* inputParameterChanges;
    IParameterChanges* outputParameterChanges;
    IEventList* inputEvents;
    IEventList* outputEvents;
    ProcessContext* processContext;
};

class IAudioProcessor : public FUnknown {
public:
    VST3_IID(0x42043F99, 0xB7DA453C, 0xA569E79D, 0x9AAEC33D);
    virtual tresult VST3_CALL setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                                 SpeakerArrangement* outputs, int32 numOuts) = 0;
    virtual tresult VST3_CALL getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement* arr) = 0;
    virtual tresult VST3_CALL canProcessSampleSize(int32 symbolicSampleSize) = 0;
    virtual uint32 VST3_CALL getLatencySamples() = 0;
    virtual tresult VST3_CALL setupProcessing(ProcessSetup* setup) = 0;
    virtual tresult VST3_CALL setProcessing(TBool state) = 0;
    virtual tresult VST3_CALL process(ProcessData* data) = 0;
    virtual uint32 VST3_CALL getTailSamples() = 0;
};

class IProcessContextRequirements : public FUnknown {
public:
    VST3_IID(0x2A654303, 0xEF764E3D, 0x95B5FE83, 0x730EF6D0);
    enum Flags : uint32 {
        kNeedSystemTime = 1 << 0,
        kNeedContinousTimeSamples = 1 << 1,
        kNeedProjectTimeMusic = 1 << 2,
        kNeedBarPositionMusic = 1 << 3,
        kNeedCycleMusic = 1 << 4,
        kNeedSamplesToNextClock = 1 << 5,
        kNeedTempo = 1 << 6,
        kNeedTimeSignature = 1 << 7,
        kNeedChord = 1 << 8,
        kNeedFrameRate = 1 << 9,
        kNeedTransportState = 1 << 10
    };
    virtual uint32 VST3_CALL getProcessContextRequirements() = 0;
};

class IAudioPresentationLatency : public FUnknown {
public:
    VST3_IID(0x309ECE78, 0xEB7D4FAE, 0x8B2225D9, 0x09FD08B6);
    virtual tresult VST3_CALL setAudioPresentationLatencySamples(BusDirection dir, int32 busIndex,
                                                                 uint32 latencyInSamples) = 0;
};

// ---------------------------------------------------------------- controller

struct ParameterInfo {
    enum ParameterFlags : int32 {
        kNoFlags = 0,
        kCanAutomate = 1 << 0,
        kIsReadOnly = 1 << 1,
        kIsWrapAround = 1 << 2,
        kIsList = 1 << 3,
        kIsHidden = 1 << 4,
        kIsProgramChange = 1 << 15,
        kIsBypass = 1 << 16
    };
    ParamID id;
    String128 title;
    String128 shortTitle;
    String128 units;
    int32 stepCount;
    ParamValue defaultNormalizedValue;
    UnitID unitId;
    int32 flags;
};

constexpr UnitID kRootUnitId = 0;
constexpr ParamID kNoParamId = 0xFFFFFFFFu;

enum RestartFlags : int32 {
    kReloadComponent = 1 << 0,
    kIoChanged = 1 << 1,
    kParamValuesChanged = 1 << 2,
    kLatencyChanged = 1 << 3,
    kParamTitlesChanged = 1 << 4,
    kMidiCCAssignmentChanged = 1 << 5,
    kNoteExpressionChanged = 1 << 6,
    kIoTitlesChanged = 1 << 7,
    kPrefetchableSupportChanged = 1 << 8,
    kRoutingInfoChanged = 1 << 9,
    kKeyswitchChanged = 1 << 10,
    kParamIDMappingChanged = 1 << 11
};

class IComponentHandler : public FUnknown {
public:
    VST3_IID(0x93A0BEA3, 0x0BD045DB, 0x8E890B0C, 0xC1E46AC6);
    virtual tresult VST3_CALL beginEdit(ParamID id) = 0;
    virtual tresult VST3_CALL performEdit(ParamID id, ParamValue valueNormalized) = 0;
    virtual tresult VST3_CALL endEdit(ParamID id) = 0;
    virtual tresult VST3_CALL restartComponent(int32 flags) = 0;
};

class IComponentHandler2 : public FUnknown {
public:
    VST3_IID(0xF040B4B3, 0xA36045EC, 0xABCDC045, 0xB4D5A2CC);
    virtual tresult VST3_CALL setDirty(TBool state) = 0;
    virtual tresult VST3_CALL requestOpenEditor(FIDString name) = 0;
    virtual tresult VST3_CALL startGroupEdit() = 0;
    virtual tresult VST3_CALL finishGroupEdit() = 0;
};

class IPlugView;

class IEditController : public IPluginBase {
public:
    VST3_IID(0xDCD7BBE3, 0x7742448D, 0xA874AACC, 0x979C759E);
    virtual tresult VST3_CALL setComponentState(IBStream* state) = 0;
    virtual tresult VST3_CALL setControllerState(IBStream* state) = 0;
    virtual tresult VST3_CALL getControllerState(IBStream* state) = 0;
    virtual int32 VST3_CALL getParameterCount() = 0;
    virtual tresult VST3_CALL getParameterInfo(int32 paramIndex, ParameterInfo* info) = 0;
    virtual tresult VST3_CALL getParamStringByValue(ParamID id, ParamValue valueNormalized, TChar* string) = 0;
    virtual tresult VST3_CALL getParamValueByString(ParamID id, TChar* string, ParamValue* valueNormalized) = 0;
    virtual ParamValue VST3_CALL normalizedParamToPlain(ParamID id, ParamValue valueNormalized) = 0;
    virtual ParamValue VST3_CALL plainParamToNormalized(ParamID id, ParamValue plainValue) = 0;
    virtual ParamValue VST3_CALL getParamNormalized(ParamID id) = 0;
    virtual tresult VST3_CALL setParamNormalized(ParamID id, ParamValue value) = 0;
    virtual tresult VST3_CALL setComponentHandler(IComponentHandler* handler) = 0;
    virtual IPlugView* VST3_CALL createView(FIDString name) = 0;
};

enum KnobModes : int32 { kCircularMode = 0, kRelativCircularMode = 1, kLinearMode = 2 };

class IEditController2 : public FUnknown {
public:
    VST3_IID(0x7F4EFE59, 0xF3204967, 0xAC27A3AE, 0xAFB63038);
    virtual tresult VST3_CALL setKnobMode(KnobMode mode) = 0;
    virtual tresult VST3_CALL openHelp(TBool onlyCheck) = 0;
    virtual tresult VST3_CALL openAboutBox(TBool onlyCheck) = 0;
};

class IMessage : public FUnknown {
public:
    VST3_IID(0x936F033B, 0xC6C047DB, 0xBB0882F8, 0x13C1E613);
    virtual FIDString VST3_CALL getMessageID() = 0;
    virtual void VST3_CALL setMessageID(FIDString id) = 0;
    virtual IAttributeList* VST3_CALL getAttributes() = 0;
};

class IConnectionPoint : public FUnknown {
public:
    VST3_IID(0x70A4156F, 0x6E6E4026, 0x989148BF, 0xAA60D8D1);
    virtual tresult VST3_CALL connect(IConnectionPoint* other) = 0;
    virtual tresult VST3_CALL disconnect(IConnectionPoint* other) = 0;
    virtual tresult VST3_CALL notify(IMessage* message) = 0;
};

// Optional plug-in interfaces hosts ask for; declared by identifier only,
// answered with kNoInterface by a plug-in that has none of them.
class IUnitInfo : public FUnknown {
public:
    VST3_IID(0x3D4BD6B5, 0x913A4FD2, 0xA886E768, 0xA5EB92C1);
};
class IMidiMapping : public FUnknown {
public:
    VST3_IID(0xDF0FF9F7, 0x49B74669, 0xB63AB732, 0x7ADBF5E5);
};

// ---------------------------------------------------------------- host context

class IHostApplication : public FUnknown {
public:
    VST3_IID(0x58E595CC, 0xDB2D4969, 0x8B6AAF8C, 0x36A664E5);
    virtual tresult VST3_CALL getName(TChar* name) = 0;
    virtual tresult VST3_CALL createInstance(TUID cid, TUID iid, void** obj) = 0;
};

class IPlugInterfaceSupport : public FUnknown {
public:
    VST3_IID(0x4FB58B9E, 0x9EAA4E0F, 0xAB361C1C, 0xCCB56FEA);
    virtual tresult VST3_CALL isPlugInterfaceSupported(const TUID iid) = 0;
};

// ---------------------------------------------------------------- editor view

struct ViewRect {
    int32 left;
    int32 top;
    int32 right;
    int32 bottom;
    int32 getWidth() const { return right - left; }
    int32 getHeight() const { return bottom - top; }
};

constexpr const char* kPlatformTypeHWND = "HWND";
constexpr const char* kPlatformTypeX11EmbedWindowID = "X11EmbedWindowID";
constexpr const char* kEditorViewName = "editor";

class IPlugFrame;

class IPlugView : public FUnknown {
public:
    VST3_IID(0x5BC32507, 0xD06049EA, 0xA6151B52, 0x2B755B29);
    virtual tresult VST3_CALL isPlatformTypeSupported(FIDString type) = 0;
    virtual tresult VST3_CALL attached(void* parent, FIDString type) = 0;
    virtual tresult VST3_CALL removed() = 0;
    virtual tresult VST3_CALL onWheel(float distance) = 0;
    virtual tresult VST3_CALL onKeyDown(char16 key, int16 keyCode, int16 modifiers) = 0;
    virtual tresult VST3_CALL onKeyUp(char16 key, int16 keyCode, int16 modifiers) = 0;
    virtual tresult VST3_CALL getSize(ViewRect* size) = 0;
    virtual tresult VST3_CALL onSize(ViewRect* newSize) = 0;
    virtual tresult VST3_CALL onFocus(TBool state) = 0;
    virtual tresult VST3_CALL setFrame(IPlugFrame* frame) = 0;
    virtual tresult VST3_CALL canResize() = 0;
    virtual tresult VST3_CALL checkSizeConstraint(ViewRect* rect) = 0;
};

class IPlugFrame : public FUnknown {
public:
    VST3_IID(0x367FAF01, 0xAFA94693, 0x8D4DA2A0, 0xED0882A3);
    virtual tresult VST3_CALL resizeView(IPlugView* view, ViewRect* newSize) = 0;
};

class IPlugViewContentScaleSupport : public FUnknown {
public:
    VST3_IID(0x65ED9690, 0x8AC44525, 0x8AADEF7A, 0x72EA703F);
    virtual tresult VST3_CALL setContentScaleFactor(ScaleFactor factor) = 0;
};

// Linux only in practice (the identifiers exist everywhere): the host's UI
// thread reaches a plug-in through these, as VST 3 has no idle call.
namespace Linux {

class IEventHandler : public FUnknown {
public:
    VST3_IID(0x561E65C9, 0x13A0496F, 0x813A2C35, 0x654D7983);
    virtual void VST3_CALL onFDIsSet(FileDescriptor fd) = 0;
};

class ITimerHandler : public FUnknown {
public:
    VST3_IID(0x10BDD94F, 0x41424774, 0x821FAD8F, 0xECA72CA9);
    virtual void VST3_CALL onTimer() = 0;
};

class IRunLoop : public FUnknown {
public:
    VST3_IID(0x18C35366, 0x97764F1A, 0x9C5B8385, 0x7A871389);
    virtual tresult VST3_CALL registerEventHandler(IEventHandler* handler, FileDescriptor fd) = 0;
    virtual tresult VST3_CALL unregisterEventHandler(IEventHandler* handler) = 0;
    virtual tresult VST3_CALL registerTimer(ITimerHandler* handler, TimerInterval milliseconds) = 0;
    virtual tresult VST3_CALL unregisterTimer(ITimerHandler* handler) = 0;
};

}  // namespace Linux

// ---------------------------------------------------------------- layout checks

static_assert(sizeof(PFactoryInfo) == 452);
static_assert(sizeof(PClassInfo) == 116);
static_assert(sizeof(PClassInfo2) == 440 && offsetof(PClassInfo2, subCategories) == 120);
static_assert(sizeof(PClassInfoW) == 696 && offsetof(PClassInfoW, sdkVersion) == 568);
static_assert(sizeof(BusInfo) == 276 && offsetof(BusInfo, busType) == 268);
static_assert(sizeof(RoutingInfo) == 12);
static_assert(sizeof(ViewRect) == 16);
#if defined(__x86_64__) || defined(_M_X64)
static_assert(sizeof(ProcessSetup) == 24 && offsetof(ProcessSetup, sampleRate) == 16);
static_assert(sizeof(AudioBusBuffers) == 24 && offsetof(AudioBusBuffers, channelBuffers32) == 16);
static_assert(sizeof(ProcessData) == 80 && offsetof(ProcessData, processContext) == 72);
static_assert(sizeof(ProcessContext) == 112 && offsetof(ProcessContext, tempo) == 72 &&
              offsetof(ProcessContext, chord) == 88 && offsetof(ProcessContext, frameRate) == 96 &&
              offsetof(ProcessContext, samplesToNextClock) == 104);
static_assert(sizeof(ParameterInfo) == 792 && offsetof(ParameterInfo, stepCount) == 772 &&
              offsetof(ParameterInfo, defaultNormalizedValue) == 776 && offsetof(ParameterInfo, flags) == 788);
#endif

}  // namespace vst3
