#include "host/lv2/Lv2Description.h"

#include <charconv>
#include <cmath>
#include <sstream>


namespace lv2face {

namespace {

constexpr const char* kInstanceAccess = "<http://lv2plug.in/ns/ext/instance-access>";

// Shortest text that reads back as the same double, always with a decimal
// point or an exponent: a bare integer would be an xsd:integer in Turtle.
std::string number(double x) {
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, x).ptr;
    std::string s(text, end);
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string iri(const std::string& uri) { return "<" + uri + ">"; }

void audioPorts(std::ostringstream& out, std::uint32_t first, std::uint32_t count, bool input) {
    const char* const direction = input ? "Input" : "Output";
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string symbol = input ? "in_" : "out_";
        std::string name = direction;
        if (count == 2) {
            symbol += i == 0 ? "l" : "r";
            name += i == 0 ? " Left" : " Right";
        } else {
            symbol += std::to_string(i + 1);
            name += " " + std::to_string(i + 1);
        }
        out << "\t[\n\t\ta lv2:" << direction << "Port , lv2:AudioPort ;\n\t\tlv2:index " << first + i
            << " ;\n\t\tlv2:symbol " << quoted(symbol) << " ;\n\t\tlv2:name " << quoted(name) << " ;\n\t] ,\n";
    }
}

// One control in the slider's own units, continuous as on every face. A
// host formats the port's number itself, so the comment says what the editor
// shows over the range; a control in decibels says so with its unit.
void controlPort(std::ostringstream& out, std::uint32_t index, const std::string& symbol,
                 const wrap::PluginModel& model, std::uint32_t id) {
    const wrap::Parameter& p = *model.parameter(id);
    out << "\t[\n\t\ta lv2:InputPort , lv2:ControlPort ;\n\t\tlv2:index " << index << " ;\n\t\tlv2:symbol "
        << quoted(symbol) << " ;\n\t\tlv2:name " << quoted(p.name) << " ;\n\t\tlv2:default "
        << number(p.defaultValue) << " ;\n\t\tlv2:minimum " << number(p.minimum) << " ;\n\t\tlv2:maximum "
        << number(p.maximum) << " ;\n\t\trdfs:comment "
        << quoted("The editor shows " + model.text(id, p.minimum) + " to " + model.text(id, p.maximum) + ".")
        << " ;\n";
    if (p.unit == "dB") out << "\t\tunits:unit units:db ;\n";
    out << "\t] ,\n";
}

}  // namespace

std::string manifestTtl(const BundleNames& names) {
    std::ostringstream out;
    out << "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
        << (names.presets.empty() ? "" : "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n")
        << "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
           "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n\n"
        << iri(names.pluginUri) << "\n\ta lv2:Plugin ;\n\tlv2:binary " << iri(names.binary)
        << " ;\n\trdfs:seeAlso " << iri(names.description) << " .\n\n"
        << iri(names.uiUri) << "\n\ta ui:X11UI ;\n\tui:binary " << iri(names.binary) << " ;\n\trdfs:seeAlso "
        << iri(names.description) << " .\n";
    for (const PresetDescription& preset : names.presets)
        out << "\n" << iri(preset.uri) << "\n\ta pset:Preset ;\n\tlv2:appliesTo " << iri(names.pluginUri)
            << " ;\n\trdfs:label " << quoted(preset.label) << " ;\n\trdfs:seeAlso " << iri(names.presetFile) << " .\n";
    return out.str();
}

std::string presetsTtl(const BundleNames& names) {
    std::ostringstream out;
    out << "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
           "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
           "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n";
    for (const PresetDescription& preset : names.presets) {
        out << "\n" << iri(preset.uri) << "\n\ta pset:Preset ;\n\tlv2:appliesTo " << iri(names.pluginUri)
            << " ;\n\trdfs:label " << quoted(preset.label) << " ;\n\trdfs:comment " << quoted(preset.comment)
            << " ;\n\tlv2:port";
        for (std::size_t p = 0; p < preset.values.size() && p < names.controlSymbols.size(); ++p)
            out << (p ? " ,\n\t\t" : " ") << "[ lv2:symbol " << quoted(names.controlSymbols[p]) << " ; pset:value "
                << number(preset.values[p]) << " ]";
        out << " .\n";
    }
    return out.str();
}

std::string descriptionTtl(const Plugin& plugin, const BundleNames& names) {
    const PortLayout& ports = plugin.ports();
    std::ostringstream out;
    out << "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
           "@prefix bufsz: <http://lv2plug.in/ns/ext/buf-size#> .\n"
           "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
           "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
           "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
           "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
           "@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .\n"
           "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
           "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
           "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
           "@prefix time: <http://lv2plug.in/ns/ext/time#> .\n"
           "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n"
           "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
           "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n\n";
    out << iri(names.pluginUri) << "\n\ta lv2:Plugin , lv2:SimulatorPlugin , doap:Project ;\n\tdoap:name "
        << quoted(plugin.model().name()) << " ;\n\tdoap:maintainer [ foaf:name " << quoted(plugin.model().vendor())
        << " ] ;\n\tlv2:minorVersion " << names.minorVersion << " ;\n\tlv2:microVersion " << names.microVersion
        << " ;\n\tlv2:optionalFeature lv2:hardRTCapable , urid:map , opts:options , " << kInstanceAccess
        << " ;\n\tlv2:extensionData state:interface , opts:interface ;\n"
           "\topts:supportedOption bufsz:maxBlockLength , bufsz:nominalBlockLength ;\n\tui:ui "
        << iri(names.uiUri) << " ;\n\tlv2:port\n";
    audioPorts(out, 0, ports.inputs, true);
    audioPorts(out, ports.firstOutput(), ports.outputs, false);
    for (std::uint32_t p = 0; p < ports.controls; ++p) {
        const std::string symbol = p < names.controlSymbols.size() ? names.controlSymbols[p] : "control_" + std::to_string(p);
        controlPort(out, ports.firstControl() + p, symbol, plugin.model(), p);
    }
    // Hosts send their transport here; it may stay unconnected.
    out << "\t[\n\t\ta lv2:InputPort , atom:AtomPort ;\n\t\tatom:bufferType atom:Sequence ;\n"
           "\t\tatom:supports time:Position ;\n\t\tlv2:index "
        << ports.timePort()
        << " ;\n\t\tlv2:symbol \"time\" ;\n\t\tlv2:name \"Time and transport\" ;\n"
           "\t\tlv2:portProperty lv2:connectionOptional ;\n\t] ,\n";
    // The host's bypass: the dry input through, switched with a short fade.
    out << "\t[\n\t\ta lv2:InputPort , lv2:ControlPort ;\n\t\tlv2:index " << ports.enabledPort()
        << " ;\n\t\tlv2:symbol \"enabled\" ;\n\t\tlv2:name \"Enabled\" ;\n\t\tlv2:designation lv2:enabled ;\n"
           "\t\tlv2:default 1 ;\n\t\tlv2:minimum 0 ;\n\t\tlv2:maximum 1 ;\n"
           "\t\tlv2:portProperty lv2:toggled , lv2:integer , lv2:connectionOptional ;\n\t] .\n\n";
    out << iri(names.uiUri) << "\n\ta ui:X11UI ;\n\tlv2:requiredFeature ui:idleInterface , ui:parent , "
        << kInstanceAccess
        << " ;\n\tlv2:optionalFeature ui:resize , opts:options , urid:map ;\n"
           "\tlv2:extensionData ui:idleInterface , opts:interface , ui:resize ;\n"
           "\topts:supportedOption ui:scaleFactor .\n";
    return out.str();
}

}  // namespace lv2face
