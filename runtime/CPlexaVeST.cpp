#include "runtime/CPlexaVeST.h"

#include "host/CVeST.h"
#include "host/vst2_abi.h"

namespace plexa {

using namespace vst2;

std::int32_t CPlexaVeST::hostInputChannels() const { return adapter ? adapter->getAeffect()->numInputs : 0; }
std::int32_t CPlexaVeST::hostOutputChannels() const { return adapter ? adapter->getAeffect()->numOutputs : 0; }
float CPlexaVeST::hostSampleRate() const { return adapter ? adapter->getSampleRate() : 0.0f; }
std::int32_t CPlexaVeST::hostBlockSize() const { return adapter ? adapter->getBlockSize() : 0; }

double CPlexaVeST::hostTempo() const {
    if (!adapter) return 0.0;
    const VstTimeInfo* info = adapter->getTimeInfo(kVstTempoValid);
    return info ? info->tempo : 0.0;
}

bool CPlexaVeST::hostTempoAndTimeSig(double* tempo, double* numerator, double* denominator) const {
    if (!adapter) return false;
    const VstTimeInfo* info = adapter->getTimeInfo(kVstTempoValid | kVstTimeSigValid);
    if (!info) return false;
    if (tempo) *tempo = info->tempo;
    if (numerator) *numerator = static_cast<double>(info->timeSigNumerator);
    if (denominator) *denominator = static_cast<double>(info->timeSigDenominator);
    return true;
}

// The filter values 2 and 8 are the transport flags themselves, as the
// original runtime sends them; the record is read whatever was asked.
int CPlexaVeST::hostTransportPlaying() const {
    if (!adapter) return 0;
    const VstTimeInfo* info = adapter->getTimeInfo(kVstTransportPlaying);
    return info && (info->flags & kVstTransportPlaying) ? 1 : 0;
}

int CPlexaVeST::hostTransportRecording() const {
    if (!adapter) return 0;
    const VstTimeInfo* info = adapter->getTimeInfo(kVstTransportRecording);
    return info && (info->flags & kVstTransportRecording) ? 1 : 0;
}

double CPlexaVeST::hostPpqPosition() const {
    if (!adapter) return 0.0;
    const VstTimeInfo* info = adapter->getTimeInfo(kVstPpqPosValid);
    return info ? info->ppqPos : 0.0;
}

double CPlexaVeST::hostBarStartPosition() const {
    if (!adapter) return 0.0;
    const VstTimeInfo* info = adapter->getTimeInfo(kVstBarsValid);
    return info ? info->barStartPos : 0.0;
}

bool CPlexaVeST::hostUpdateDisplay() const { return adapter && adapter->updateDisplay(); }

bool CPlexaVeST::hostSetInitialDelay(std::int32_t samples) const {
    if (!adapter) return false;
    adapter->setInitialDelay(samples);
    return true;
}

bool CPlexaVeST::hostRedrawEditor() const { return adapter && adapter->redrawEditor(); }

void CPlexaVeST::hostMarkAsSynth() const {
    if (adapter) adapter->isSynth(true);
}

bool CPlexaVeST::hostReportAutomation(std::int32_t index, double normalizedValue) const {
    if (!adapter) return false;
    adapter->setParameterAutomated(index, static_cast<float>(normalizedValue));
    return true;
}

bool CPlexaVeST::hostSendMidi(std::int32_t deltaFrames, int status, int data1, int data2) const {
    if (!adapter) return false;
    VstMidiEvent event{};
    event.type = kVstMidiType;
    event.byteSize = sizeof(VstMidiEvent);
    event.deltaFrames = deltaFrames;
    event.midiData[0] = static_cast<char>(status);
    event.midiData[1] = static_cast<char>(data1);
    event.midiData[2] = static_cast<char>(data2);
    return adapter->sendEventToHost(reinterpret_cast<VstEvent*>(&event));
}

bool CPlexaVeST::hostSendSysex(std::int32_t deltaFrames, const char* bytes, std::int32_t length) const {
    if (!adapter || bytes == nullptr || length < 0) return false;
    VstMidiSysexEvent event{};
    event.type = kVstSysExType;
    event.byteSize = sizeof(VstMidiSysexEvent);
    event.deltaFrames = deltaFrames;
    event.dumpBytes = length;
    event.sysexDump = const_cast<char*>(bytes);
    return adapter->sendEventToHost(reinterpret_cast<VstEvent*>(&event));
}

bool CPlexaVeST::hostReceiveMidi(VstMidiEvent* event) const {
    return adapter && event && adapter->readMidiEvent(event);
}

}  // namespace plexa
