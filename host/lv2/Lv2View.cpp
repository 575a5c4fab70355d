#include "host/lv2/Lv2View.h"

#include <lv2/atom/atom.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "host/lv2/Lv2Features.h"
#include "host/lv2/Lv2Plugin.h"

namespace lv2face {

namespace {

class View final : private wrap::EditReporter::Listener, private wrap::EditorHost::Face {
public:
    View(Plugin& plugin, LV2UI_Write_Function write, LV2UI_Controller controller, const LV2UI_Resize* resize,
          LV2_URID_Map* map)
        : editor(&plugin.wrapped().editor()), model(&plugin.model()), firstControl(plugin.ports().firstControl()),
          write(write), controller(controller) {
        for (std::uint32_t p = 0; p < plugin.ports().controls; ++p)
            hostValues.push_back(static_cast<float>(plugin.controlValue(p)));
        if (resize && resize->ui_resize) this->resize = *resize;
        if (map && map->map) {
            scaleFactorKey = map->map(map->handle, LV2_UI__scaleFactor);
            floatType = map->map(map->handle, LV2_ATOM__Float);
            doubleType = map->map(map->handle, LV2_ATOM__Double);
        }
        // A new interface starts from no host scale: one a previous
        // interface's host set is not this host's.
        editor->setScale(*this, 0);
    }

    ~View() {
        if (editor) editor->close(*this);
    }

    // The editor's window inside `parent`; 0 when it cannot be opened. A host
    // that can size its window to the editor hears its size.
    std::uintptr_t open(void* parent) {
        return editor->open(*this, *this, parent) ? editor->window() : 0;
    }

    // Mouse events and paints happen inside the editor's idle, and so does
    // every slider change the interface makes: they are sent to the host.
    int idle() {
        // Another interface took the editor over, or the plug-in is gone.
        if (!editor || !editor->owns(*this)) return 1;
        editor->idle(*this);
        return 0;
    }

    // The host's ui:scaleFactor among these options (at instantiation, or
    // later through the options interface); the host hears the new size.
    LV2_Options_Status setOptions(const LV2_Options_Option* options) {
        std::uint32_t status = LV2_OPTIONS_SUCCESS;
        for (const LV2_Options_Option* o = options; o && (o->key != 0 || o->value != nullptr); ++o) {
            if (o->key == 0 || o->key != scaleFactorKey) {
                status |= LV2_OPTIONS_ERR_BAD_KEY;
                continue;
            }
            double factor;
            if (o->type == floatType && o->size == sizeof(float) && o->value)
                factor = *static_cast<const float*>(o->value);
            else if (o->type == doubleType && o->size == sizeof(double) && o->value)
                factor = *static_cast<const double*>(o->value);
            else {
                status |= LV2_OPTIONS_ERR_BAD_VALUE;
                continue;
            }
            if (!editor || !editor->setScale(*this, factor)) status |= LV2_OPTIONS_ERR_BAD_VALUE;
        }
        return static_cast<LV2_Options_Status>(status);
    }

    // The host resized the interface (ui:resize offered by the interface):
    // it takes the nearest size that fits; 0 when that is the one given.
    int resizeTo(int width, int height) { return editor && editor->setSize(*this, width, height) ? 0 : 1; }

    // The host's value of a control; the interface shows the effect's, which
    // follows at the next run.
    void portEvent(std::uint32_t port, std::uint32_t size, std::uint32_t format, const void* buffer) {
        if (format != 0 || size != sizeof(float) || buffer == nullptr) return;
        if (port < firstControl || port - firstControl >= hostValues.size()) return;
        std::memcpy(&hostValues[port - firstControl], buffer, sizeof(float));
    }

private:
    // A port carries no gestures: each value the editor sets goes to the host.
    void beginEdit(std::uint32_t) override {}
    void endEdit(std::uint32_t) override {}
    void performEdit(std::uint32_t p, double units, double) override {
        if (model) model->noteReported(p);
        float value = static_cast<float>(units);
        if (value == hostValues[p]) return;
        hostValues[p] = value;
        write(controller, firstControl + p, sizeof value, 0, &value);
    }

    // EditorHost::Face: the host's idle interface is the timer; the size
    // goes through the host's ui:resize when it offers one.
    bool startTimer(std::uint32_t) override { return true; }
    void stopTimer() override {}
    bool requestSize(std::uint32_t width, std::uint32_t height) override {
        return !resize.ui_resize ||
               resize.ui_resize(resize.handle, static_cast<int>(width), static_cast<int>(height)) == 0;
    }
    // Another interface took the editor, or the plug-in went first; the
    // host hears so at the next idle.
    void editorLost() override {
        editor = nullptr;
        model = nullptr;
    }

    wrap::EditorHost* editor;
    wrap::PluginModel* model;
    std::uint32_t firstControl;
    LV2UI_Write_Function write;
    LV2UI_Controller controller;
    std::vector<float> hostValues;
    LV2UI_Resize resize{};
    LV2_URID scaleFactorKey = 0, floatType = 0, doubleType = 0;
};

View* self(LV2UI_Handle handle) { return static_cast<View*>(handle); }

LV2UI_Handle instantiate(const LV2UI_Descriptor* descriptor, const char* pluginUri, const char*,
                         LV2UI_Write_Function write, LV2UI_Controller controller, LV2UI_Widget* widget,
                         const LV2_Feature* const* features) {
    const auto* ours = reinterpret_cast<const UiDescriptor*>(descriptor);
    // The instance behind instance-access is ours only for our plug-in.
    if (pluginUri == nullptr || std::strcmp(pluginUri, ours->pluginUri) != 0 || write == nullptr || widget == nullptr)
        return nullptr;
    void* parent = featureData(features, LV2_UI__parent);
    auto* plugin = static_cast<Plugin*>(featureData(features, LV2_INSTANCE_ACCESS_URI));
    if (parent == nullptr || plugin == nullptr) return nullptr;
    std::unique_ptr<View> ui;
    try {
        ui = std::make_unique<View>(*plugin, write, controller,
                                     static_cast<const LV2UI_Resize*>(featureData(features, LV2_UI__resize)),
                                     static_cast<LV2_URID_Map*>(featureData(features, LV2_URID__map)));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    ui->setOptions(static_cast<const LV2_Options_Option*>(featureData(features, LV2_OPTIONS__options)));
    const std::uintptr_t window = ui->open(parent);
    if (window == 0) return nullptr;
    *widget = reinterpret_cast<LV2UI_Widget>(window);
    return ui.release();
}

void cleanup(LV2UI_Handle handle) { delete self(handle); }

void portEvent(LV2UI_Handle handle, std::uint32_t port, std::uint32_t size, std::uint32_t format,
               const void* buffer) {
    self(handle)->portEvent(port, size, format, buffer);
}

int idle(LV2UI_Handle handle) { return self(handle)->idle(); }

std::uint32_t getOptions(LV2UI_Handle, LV2_Options_Option*) { return LV2_OPTIONS_ERR_UNKNOWN; }

std::uint32_t setOptions(LV2UI_Handle handle, const LV2_Options_Option* options) {
    return handle ? self(handle)->setOptions(options) : LV2_OPTIONS_ERR_UNKNOWN;
}

int resize(LV2UI_Feature_Handle handle, int width, int height) {
    return handle ? self(static_cast<LV2UI_Handle>(handle))->resizeTo(width, height) : 1;
}

const void* extensionData(const char* uri) {
    static const LV2UI_Idle_Interface idleInterface{&idle};
    static const LV2_Options_Interface optionsInterface{&getOptions, &setOptions};
    static const LV2UI_Resize resizeInterface{nullptr, &resize};
    if (uri && std::strcmp(uri, LV2_UI__idleInterface) == 0) return &idleInterface;
    if (uri && std::strcmp(uri, LV2_OPTIONS__interface) == 0) return &optionsInterface;
    if (uri && std::strcmp(uri, LV2_UI__resize) == 0) return &resizeInterface;
    return nullptr;
}

}  // namespace

UiDescriptor uiDescriptor(const char* uiUri, const char* pluginUri) {
    return {{uiUri, &instantiate, &cleanup, &portEvent, &extensionData}, pluginUri};
}

}  // namespace lv2face
