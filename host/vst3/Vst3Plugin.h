// The one object a VST 3 host creates: component, audio processor and edit
// controller over the effect's VST 2.4 instance.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "host/vst3/Vst3Abi.h"
#include "host/vst3/Vst3Entry.h"
#include "host/wrap/PluginModel.h"

namespace vst3face {

class Plugin final : public vst3::IComponent,
                        public vst3::IAudioProcessor,
                        public vst3::IEditController,
                        public vst3::IProcessContextRequirements,
                        private wrap::EditReporter::Listener {
public:
    // A new object holding one reference; null when the effect cannot be made.
    static Plugin* create(const PluginClass& plugin, vst3::Linux::IRunLoop* factoryRunLoop);

    vst3::tresult VST3_CALL queryInterface(const vst3::TUID iid, void** obj) override;
    vst3::uint32 VST3_CALL addRef() override;
    vst3::uint32 VST3_CALL release() override;

    vst3::tresult VST3_CALL initialize(vst3::FUnknown* context) override;
    vst3::tresult VST3_CALL terminate() override;

    vst3::tresult VST3_CALL getControllerClassId(vst3::TUID classId) override;
    vst3::tresult VST3_CALL setIoMode(vst3::IoMode mode) override;
    vst3::int32 VST3_CALL getBusCount(vst3::MediaType type, vst3::BusDirection dir) override;
    vst3::tresult VST3_CALL getBusInfo(vst3::MediaType type, vst3::BusDirection dir, vst3::int32 index,
                                       vst3::BusInfo* bus) override;
    vst3::tresult VST3_CALL getRoutingInfo(vst3::RoutingInfo* inInfo, vst3::RoutingInfo* outInfo) override;
    vst3::tresult VST3_CALL activateBus(vst3::MediaType type, vst3::BusDirection dir, vst3::int32 index,
                                        vst3::TBool state) override;
    vst3::tresult VST3_CALL setActive(vst3::TBool state) override;
    vst3::tresult VST3_CALL setState(vst3::IBStream* state) override;
    vst3::tresult VST3_CALL getState(vst3::IBStream* state) override;

    vst3::tresult VST3_CALL setBusArrangements(vst3::SpeakerArrangement* inputs, vst3::int32 numIns,
                                               vst3::SpeakerArrangement* outputs, vst3::int32 numOuts) override;
    vst3::tresult VST3_CALL getBusArrangement(vst3::BusDirection dir, vst3::int32 index,
                                              vst3::SpeakerArrangement* arr) override;
    vst3::tresult VST3_CALL canProcessSampleSize(vst3::int32 symbolicSampleSize) override;
    vst3::uint32 VST3_CALL getLatencySamples() override;
    vst3::tresult VST3_CALL setupProcessing(vst3::ProcessSetup* setup) override;
    vst3::tresult VST3_CALL setProcessing(vst3::TBool state) override;
    vst3::tresult VST3_CALL process(vst3::ProcessData* data) override;
    vst3::uint32 VST3_CALL getTailSamples() override;

    vst3::uint32 VST3_CALL getProcessContextRequirements() override;

    vst3::tresult VST3_CALL setComponentState(vst3::IBStream* state) override;
    vst3::tresult VST3_CALL setControllerState(vst3::IBStream* state) override;
    vst3::tresult VST3_CALL getControllerState(vst3::IBStream* state) override;
    vst3::int32 VST3_CALL getParameterCount() override;
    vst3::tresult VST3_CALL getParameterInfo(vst3::int32 paramIndex, vst3::ParameterInfo* info) override;
    vst3::tresult VST3_CALL getParamStringByValue(vst3::ParamID id, vst3::ParamValue valueNormalized,
                                                  vst3::TChar* string) override;
    vst3::tresult VST3_CALL getParamValueByString(vst3::ParamID id, vst3::TChar* string,
                                                  vst3::ParamValue* valueNormalized) override;
    vst3::ParamValue VST3_CALL normalizedParamToPlain(vst3::ParamID id, vst3::ParamValue valueNormalized) override;
    vst3::ParamValue VST3_CALL plainParamToNormalized(vst3::ParamID id, vst3::ParamValue plainValue) override;
    vst3::ParamValue VST3_CALL getParamNormalized(vst3::ParamID id) override;
    vst3::tresult VST3_CALL setParamNormalized(vst3::ParamID id, vst3::ParamValue value) override;
    vst3::tresult VST3_CALL setComponentHandler(vst3::IComponentHandler* handler) override;
    vst3::IPlugView* VST3_CALL createView(vst3::FIDString name) override;

    // Where the editor's view reports the edits the interface makes (on the
    // host's UI thread): as the host's beginEdit, performEdit and endEdit.
    wrap::EditReporter::Listener& editListener() { return *this; }
    wrap::WrappedEffect& wrapped() { return model->effect(); }
    // The run loop the factory's host context gave, if any (borrowed).
    vst3::Linux::IRunLoop* factoryRunLoop() const { return runLoop; }

private:
    explicit Plugin(std::unique_ptr<wrap::PluginModel> model);
    ~Plugin();

    void beginEdit(std::uint32_t p) override;
    void performEdit(std::uint32_t p, double units, double normalised) override;
    void endEdit(std::uint32_t p) override;

    bool changedByHost(std::uint32_t p) override;
    void beginGroup() override;
    void endGroup() override;

    bool validParameter(vst3::ParamID id) const { return model->isParameter(id); }
    // Reads a whole stream and loads it as the plug-in's state.
    vst3::tresult restore(vst3::IBStream* state, bool unlessCurrent);
    // Points of the block's parameter changes, in frame order.
    std::size_t collectChanges(vst3::IParameterChanges* changes, vst3::int32 frames);

    std::atomic<vst3::uint32> references{1};
    std::unique_ptr<wrap::PluginModel> model;
    vst3::IComponentHandler* handler = nullptr;
    vst3::IComponentHandler2* groups = nullptr;  // where the host offers group edits
    vst3::Linux::IRunLoop* runLoop = nullptr;
    vst3::int32 sampleSize = vst3::kSample32;
    // The block's changes, made before any process call.
    std::vector<wrap::PluginModel::Change> changeBuffer;
    // The model's count of host writes per parameter at the last edit report.
    std::vector<std::uint32_t> writesSeen;
};

// The editor's view of a component (Vst3View.cpp); holds a reference to it.
vst3::IPlugView* createEditorView(Plugin& component);

}  // namespace vst3face
