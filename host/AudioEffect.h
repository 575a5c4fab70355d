// Generic VST 2.4 plug-in side: owns the descriptor the host talks to, turns
// the dispatcher's opcodes 0-24 into virtual calls, and wraps the host callback.
#pragma once

#include <cstdint>

#include "host/vst2_abi.h"

class AEffEditor;

class AudioEffect {
public:
    AudioEffect(vst2::audioMasterCallback audioMaster, std::int32_t numPrograms, std::int32_t numParams);
    virtual ~AudioEffect();

    virtual vst2::VstIntPtr dispatcher(std::int32_t opcode, std::int32_t index, vst2::VstIntPtr value, void* ptr,
                                       float opt);

    virtual void open() {}
    virtual void close() {}
    virtual void suspend() {}
    virtual void resume() {}
    virtual void setSampleRate(float rate) { sampleRate = rate; }
    virtual void setBlockSize(std::int32_t size) { blockSize = size; }
    virtual void processReplacing(float**, float**, std::int32_t) {}
    virtual void processDoubleReplacing(double**, double**, std::int32_t) {}
    virtual void setParameter(std::int32_t, float) {}
    virtual float getParameter(std::int32_t) { return 0.0f; }
    virtual void setProgram(std::int32_t program) { curProgram = program; }
    virtual std::int32_t getProgram() { return curProgram; }
    virtual void setProgramName(char*) {}
    virtual void getProgramName(char*) {}
    virtual void getParameterLabel(std::int32_t, char*) {}
    virtual void getParameterDisplay(std::int32_t, char*) {}
    virtual void getParameterName(std::int32_t, char*) {}
    virtual std::int32_t getChunk(void**, bool) { return 0; }
    virtual std::int32_t setChunk(void*, std::int32_t, bool) { return 0; }

    // Descriptor setters.
    void setUniqueID(std::int32_t id) { cEffect.uniqueID = id; }
    void setNumInputs(std::int32_t count) { cEffect.numInputs = count; }
    void setNumOutputs(std::int32_t count) { cEffect.numOutputs = count; }
    void setInitialDelay(std::int32_t delay) { cEffect.initialDelay = delay; }
    void canProcessReplacing(bool state = true) { setFlag(vst2::effFlagsCanReplacing, state); }
    void canDoubleReplacing(bool state = true) { setFlag(vst2::effFlagsCanDoubleReplacing, state); }
    void programsAreChunks(bool state = true) { setFlag(vst2::effFlagsProgramChunks, state); }
    void isSynth(bool state = true) { setFlag(vst2::effFlagsIsSynth, state); }
    void hasVu(bool state = true) { setFlag(vst2::effFlagsHasVu, state); }
    void hasClip(bool state = true) { setFlag(vst2::effFlagsHasClip, state); }
    void canMono(bool state = true) { setFlag(vst2::effFlagsCanMono, state); }
    void noTail(bool state = true) { setFlag(vst2::effFlagsNoSoundInStop, state); }
    // Takes ownership; the previous editor is destroyed.
    void setEditor(AEffEditor* newEditor);

    vst2::AEffect* getAeffect() { return &cEffect; }
    const vst2::AEffect* getAeffect() const { return &cEffect; }
    AEffEditor* getEditor() const { return editor; }
    float getSampleRate() const { return sampleRate; }
    std::int32_t getBlockSize() const { return blockSize; }
    std::int32_t getNumPrograms() const { return numPrograms; }
    std::int32_t getNumParams() const { return numParams; }

    // Host callback wrappers.
    vst2::VstIntPtr callHost(std::int32_t opcode, std::int32_t index = 0, vst2::VstIntPtr value = 0,
                             void* ptr = nullptr, float opt = 0.0f);
    std::int32_t getMasterVersion();
    void masterIdle();
    virtual void setParameterAutomated(std::int32_t index, float value);

    // The descriptor's entry points; each finds the adapter in `object`.
    static vst2::VstIntPtr dispatchEffClass(vst2::AEffect* e, std::int32_t opcode, std::int32_t index,
                                            vst2::VstIntPtr value, void* ptr, float opt);
    static void processClass(vst2::AEffect* e, float** inputs, float** outputs, std::int32_t frames);
    static void processClassReplacing(vst2::AEffect* e, float** inputs, float** outputs, std::int32_t frames);
    static void processClassDoubleReplacing(vst2::AEffect* e, double** inputs, double** outputs,
                                            std::int32_t frames);
    static void setParameterClass(vst2::AEffect* e, std::int32_t index, float value);
    static float getParameterClass(vst2::AEffect* e, std::int32_t index);

protected:
    void setFlag(std::int32_t flag, bool state) {
        if (state)
            cEffect.flags |= flag;
        else
            cEffect.flags &= ~flag;
    }

    vst2::audioMasterCallback audioMaster;
    AEffEditor* editor = nullptr;
    float sampleRate = 44100.0f;
    std::int32_t blockSize = 1024;
    std::int32_t numPrograms;
    std::int32_t numParams;
    std::int32_t curProgram = 0;
    vst2::AEffect cEffect;
};
