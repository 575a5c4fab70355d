#include "host/lv2/Lv2Ui.h"

#include <lv2/instance-access/instance-access.h>

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "editor/CVeSTEditor.h"
#include "host/CVeST.h"
#include "host/lv2/Lv2Features.h"
#include "host/lv2/Lv2Plugin.h"

namespace lv2host {

namespace {

class Lv2Ui final : private wrap::EditReporter::Listener {
public:
    Lv2Ui(Lv2Plugin& plugin, LV2UI_Write_Function write, LV2UI_Controller controller)
        : plugin(plugin), write(write), controller(controller), edits(plugin.wrapped()) {
        for (std::uint32_t p = 0; p < plugin.ports().controls; ++p)
            hostValues.push_back(static_cast<float>(plugin.controlValue(p)));
    }

    ~Lv2Ui() {
        if (plugin.editorOwner != this) return;
        plugin.dispatch(vst2::effEditClose);
        plugin.editorOwner = nullptr;
    }

    // The editor's window inside `parent`; 0 when it cannot be opened.
    std::uintptr_t open(void* parent) {
        if (plugin.dispatch(vst2::effEditOpen, 0, 0, parent) != 1) return 0;
        plugin.editorOwner = this;
        const auto* editor = static_cast<const CVeSTEditor*>(plugin.adapter().getEditor());
        return editor->nativeWindow();
    }

    // Mouse events and paints happen inside the editor's idle, and so does
    // every slider change the interface makes: whatever moved meanwhile is
    // sent to the host.
    int idle() {
        if (plugin.editorOwner != this) return 1;  // another interface took the editor over
        edits.idle(*this);
        return 0;
    }

    // The host's value of a control; the interface shows the effect's, which
    // follows at the next run.
    void portEvent(std::uint32_t port, std::uint32_t size, std::uint32_t format, const void* buffer) {
        const PortLayout& ports = plugin.ports();
        if (format != 0 || size != sizeof(float) || buffer == nullptr) return;
        if (port < ports.firstControl() || port >= ports.timePort()) return;
        std::memcpy(&hostValues[port - ports.firstControl()], buffer, sizeof(float));
    }

private:
    // A port carries no gestures: each value the editor sets goes to the host.
    void beginEdit(std::uint32_t) override {}
    void endEdit(std::uint32_t) override {}
    void performEdit(std::uint32_t p, double units, double) override {
        float value = static_cast<float>(units);
        if (value == hostValues[p]) return;
        hostValues[p] = value;
        write(controller, plugin.ports().firstControl() + p, sizeof value, 0, &value);
    }

    Lv2Plugin& plugin;
    LV2UI_Write_Function write;
    LV2UI_Controller controller;
    std::vector<float> hostValues;
    wrap::EditReporter edits;
};

Lv2Ui* self(LV2UI_Handle handle) { return static_cast<Lv2Ui*>(handle); }

LV2UI_Handle instantiate(const LV2UI_Descriptor* descriptor, const char* pluginUri, const char*,
                         LV2UI_Write_Function write, LV2UI_Controller controller, LV2UI_Widget* widget,
                         const LV2_Feature* const* features) {
    const auto* ours = reinterpret_cast<const UiDescriptor*>(descriptor);
    // The instance behind instance-access is ours only for our plug-in.
    if (pluginUri == nullptr || std::strcmp(pluginUri, ours->pluginUri) != 0 || write == nullptr || widget == nullptr)
        return nullptr;
    void* parent = featureData(features, LV2_UI__parent);
    auto* plugin = static_cast<Lv2Plugin*>(featureData(features, LV2_INSTANCE_ACCESS_URI));
    if (parent == nullptr || plugin == nullptr) return nullptr;
    std::unique_ptr<Lv2Ui> ui;
    try {
        ui = std::make_unique<Lv2Ui>(*plugin, write, controller);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    const std::uintptr_t window = ui->open(parent);
    if (window == 0) return nullptr;
    *widget = reinterpret_cast<LV2UI_Widget>(window);
    // The size is fixed; a host that can size its window to us is told once.
    if (auto* resize = static_cast<LV2UI_Resize*>(featureData(features, LV2_UI__resize)); resize && resize->ui_resize) {
        const auto* editor = static_cast<const CVeSTEditor*>(plugin->adapter().getEditor());
        resize->ui_resize(resize->handle, editor->width, editor->height);
    }
    return ui.release();
}

void cleanup(LV2UI_Handle handle) { delete self(handle); }

void portEvent(LV2UI_Handle handle, std::uint32_t port, std::uint32_t size, std::uint32_t format,
               const void* buffer) {
    self(handle)->portEvent(port, size, format, buffer);
}

int idle(LV2UI_Handle handle) { return self(handle)->idle(); }

const void* extensionData(const char* uri) {
    static const LV2UI_Idle_Interface idleInterface{&idle};
    return uri && std::strcmp(uri, LV2_UI__idleInterface) == 0 ? &idleInterface : nullptr;
}

}  // namespace

UiDescriptor uiDescriptor(const char* uiUri, const char* pluginUri) {
    return {{uiUri, &instantiate, &cleanup, &portEvent, &extensionData}, pluginUri};
}

}  // namespace lv2host
