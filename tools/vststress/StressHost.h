// The host side the plug-in sees: one callback for every instance and
// thread. It answers from values fixed before any test thread starts or held
// in atomics, so answering never races, locks or allocates, whichever thread
// the plug-in calls from.
#pragma once

#include <atomic>

#include "host/vst2_abi.h"

namespace stress {

extern "C" vst2::VstIntPtr hostCallback(vst2::AEffect* effect, vst2::VstInt32 opcode, vst2::VstInt32 index,
                                        vst2::VstIntPtr value, void* ptr, float opt);

// What the host reports for audioMasterGetSampleRate/GetBlockSize; the tests
// set them before they create instances.
void setHostFormat(double sampleRate, int blockSize);

// Marks the calling thread as an audio thread, for the process level the
// host reports (realtime there, user elsewhere).
void markAudioThread(bool audio);

// How often the plug-in has called the host with an opcode, over the run.
long hostCalls(vst2::VstInt32 opcode);

}  // namespace stress
