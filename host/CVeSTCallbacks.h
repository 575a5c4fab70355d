// The only seam between the generic adapter and an effect runtime: 29 entries,
// each optional. An empty entry means "do nothing, answer 0 or false".
#pragma once

#include <cstdint>

class CVeST;

struct CVeSTCallbacks {
    void (*adapterCreated)(CVeST* adapter) = nullptr;
    void (*adapterDestroyed)(CVeST* adapter) = nullptr;
    void (*hostOpen)(CVeST* adapter) = nullptr;
    void (*hostSuspend)(CVeST* adapter) = nullptr;
    void (*hostResume)(CVeST* adapter) = nullptr;
    void (*editorIdle)(CVeST* adapter) = nullptr;
    void (*hostClose)(CVeST* adapter) = nullptr;
    void (*editorPaint)(CVeST* adapter, double width, double height) = nullptr;
    void (*mouseDown)(CVeST* adapter, double x, double y, std::int32_t buttons) = nullptr;
    void (*mouseUp)(CVeST* adapter, double x, double y, std::int32_t buttons) = nullptr;
    void (*mouseMoved)(CVeST* adapter, double x, double y, std::int32_t buttons) = nullptr;
    void (*keyDown)(CVeST* adapter, std::int32_t character, std::uint8_t modifier, std::uint8_t virtualKey) = nullptr;
    void (*keyUp)(CVeST* adapter, std::int32_t character, std::uint8_t modifier, std::uint8_t virtualKey) = nullptr;
    std::int32_t (*getVendorVersion)(CVeST* adapter) = nullptr;
    bool (*getVendorString)(CVeST* adapter, char* text) = nullptr;
    bool (*getProductString)(CVeST* adapter, char* text) = nullptr;
    bool (*getEffectName)(CVeST* adapter, char* text) = nullptr;
    void (*getProgramName)(CVeST* adapter, char* text) = nullptr;
    void (*setProgramName)(CVeST* adapter, const char* text) = nullptr;
    bool (*getProgramNameIndexed)(CVeST* adapter, std::int32_t category, std::int32_t index, char* text) = nullptr;
    double (*getParameter)(CVeST* adapter, std::int32_t index) = nullptr;
    void (*setParameter)(CVeST* adapter, std::int32_t index, double value) = nullptr;
    void (*getParameterName)(CVeST* adapter, std::int32_t index, char* text) = nullptr;
    void (*getParameterLabel)(CVeST* adapter, std::int32_t index, char* text) = nullptr;
    void (*getParameterDisplay)(CVeST* adapter, std::int32_t index, char* text) = nullptr;
    void (*processReplacing)(CVeST* adapter, float** inputs, float** outputs, std::int32_t frames) = nullptr;
    void (*processDoubleReplacing)(CVeST* adapter, double** inputs, double** outputs, std::int32_t frames) = nullptr;
    std::int32_t (*getChunk)(CVeST* adapter, void** data, bool isPreset) = nullptr;
    std::int32_t (*setChunk)(CVeST* adapter, void* data, std::int32_t byteSize, bool isPreset) = nullptr;
};

static_assert(sizeof(CVeSTCallbacks) == 29 * sizeof(void*), "the table holds exactly 29 entries");
