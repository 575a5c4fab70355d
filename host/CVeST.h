// Host adapter: the VST 2.4 plug-in class of every effect built on the
// runtime. It knows the effect only through its callback table.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "host/AudioEffectX.h"
#include "host/CVeSTCallbacks.h"

namespace plexa {
class TPlexa;
}
class CDrawContext;
class CFontDesc;

class CVeST : public AudioEffectX {
public:
    static constexpr std::int32_t kMidiRingSize = 1000;

    // Null when the host answers 0 to the version query; nothing is created then.
    static CVeST* create(plexa::TPlexa* effect, const CVeSTCallbacks& callbacks,
                         vst2::audioMasterCallback hostCallback, std::int32_t programCount,
                         std::int32_t parameterCount);
    ~CVeST() override;

    void open() override;
    void close() override;
    void suspend() override;
    void resume() override;
    void processReplacing(float** inputs, float** outputs, std::int32_t frames) override;
    void processDoubleReplacing(double** inputs, double** outputs, std::int32_t frames) override;
    void setParameter(std::int32_t index, float value) override;
    float getParameter(std::int32_t index) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    void getParameterLabel(std::int32_t index, char* label) override;
    void getParameterDisplay(std::int32_t index, char* text) override;
    void getParameterName(std::int32_t index, char* text) override;
    std::int32_t getChunk(void** data, bool isPreset) override;
    std::int32_t setChunk(void* data, std::int32_t byteSize, bool isPreset) override;
    bool getProgramNameIndexed(std::int32_t category, std::int32_t index, char* text) override;
    std::int32_t processEvents(vst2::VstEvents* events) override;
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    std::int32_t getVendorVersion() override;
    std::int32_t canDo(const char* text) override;

    // Services for the runtime.
    bool redrawEditor();
    void runEditorIdle();
    // Oldest unread MIDI record; false when the reader has caught up.
    bool readMidiEvent(vst2::VstMidiEvent* event);
    bool sendEventToHost(vst2::VstEvent* event);

    plexa::TPlexa* effect;
    CDrawContext* drawContext = nullptr;  // set by the editor view for the duration of one paint
    std::int32_t midiWriteIndex = 0;
    std::int32_t midiReadIndex = 0;
    std::vector<CFontDesc*> fontList;  // descriptions made by gfxSetFont; one reference each
    std::unique_ptr<vst2::VstMidiEvent[]> midiRing;
    CVeSTCallbacks callbacks;

private:
    CVeST(plexa::TPlexa* effect, const CVeSTCallbacks& callbacks, vst2::audioMasterCallback hostCallback,
          std::int32_t programCount, std::int32_t parameterCount);
};
