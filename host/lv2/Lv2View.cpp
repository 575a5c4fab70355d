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

class View final : private wrap::EditReporter::Listener {
public:
    View(Plugin& plugin, LV2UI_Write_Function write, LV2UI_Controller controller, const LV2UI_Resize* resize,
          LV2_URID_Map* map)
        : plugin(plugin), write(write), controller(controller), edits(plugin.wrapped()) {
        for (std::uint32_t p = 0; p < plugin.ports().controls; ++p)
            hostValues.push_back(static_cast<float>(plugin.controlValue(p)));
        if (resize && resize->ui_resize) this->resize = *resize;
        if (map && map->map) {
            scaleFactorKey = map->map(map->handle, LV2_UI__scaleFactor);
            floatType = map->map(map->handle, LV2_ATOM__Float);
            doubleType = map->map(map->handle, LV2_ATOM__Double);
        }
    }

    ~View() {
        if (plugin.editorOwner != this) return;
        plugin.wrapped().closeEditor();
        plugin.editorOwner = nullptr;
    }

    // The editor's window inside `parent`; 0 when it cannot be opened.
    std::uintptr_t open(void* parent) {
        if (!plugin.wrapped().openEditor(parent)) return 0;
        plugin.editorOwner = this;
        return plugin.wrapped().editorWindow();
    }

    // Mouse events and paints happen inside the editor's idle, and so does
    // every slider change the interface makes: whatever moved meanwhile is
    // sent to the host.
    int idle() {
        if (plugin.editorOwner != this) return 1;  // another interface took the editor over
        edits.idle(*this);
        reportSize();  // the screen's density may have changed under the editor
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
            plugin.wrapped().setEditorScale(factor);
        }
        if (plugin.editorOwner == this) reportSize();
        return static_cast<LV2_Options_Status>(status);
    }

    // Tells the host the editor's size when it differs from what it was told.
    void reportSize() {
        const wrap::WrappedEffect& core = plugin.wrapped();
        const std::int32_t w = core.editorWidth(), h = core.editorHeight();
        if (w == reportedWidth && h == reportedHeight) return;
        reportedWidth = w;
        reportedHeight = h;
        if (resize.ui_resize && w > 0 && h > 0) resize.ui_resize(resize.handle, w, h);
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
        plugin.model().noteReported(p);
        float value = static_cast<float>(units);
        if (value == hostValues[p]) return;
        hostValues[p] = value;
        write(controller, plugin.ports().firstControl() + p, sizeof value, 0, &value);
    }

    Plugin& plugin;
    LV2UI_Write_Function write;
    LV2UI_Controller controller;
    std::vector<float> hostValues;
    wrap::EditReporter edits;
    LV2UI_Resize resize{};
    LV2_URID scaleFactorKey = 0, floatType = 0, doubleType = 0;
    std::int32_t reportedWidth = 0, reportedHeight = 0;
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
    // The host's scale first, so the window opens at its size. Without one
    // the editor keeps the scale it had (a previous interface's host may
    // have set one): a new interface starts from the screen again.
    plugin->wrapped().setEditorScale(0);
    ui->setOptions(static_cast<const LV2_Options_Option*>(featureData(features, LV2_OPTIONS__options)));
    const std::uintptr_t window = ui->open(parent);
    if (window == 0) return nullptr;
    *widget = reinterpret_cast<LV2UI_Widget>(window);
    // The layout is fixed; a host that can size its window to us hears the
    // size at this scale now, and again whenever the scale changes it.
    ui->reportSize();
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

const void* extensionData(const char* uri) {
    static const LV2UI_Idle_Interface idleInterface{&idle};
    static const LV2_Options_Interface optionsInterface{&getOptions, &setOptions};
    if (uri && std::strcmp(uri, LV2_UI__idleInterface) == 0) return &idleInterface;
    if (uri && std::strcmp(uri, LV2_OPTIONS__interface) == 0) return &optionsInterface;
    return nullptr;
}

}  // namespace

UiDescriptor uiDescriptor(const char* uiUri, const char* pluginUri) {
    return {{uiUri, &instantiate, &cleanup, &portEvent, &extensionData}, pluginUri};
}

}  // namespace lv2face
