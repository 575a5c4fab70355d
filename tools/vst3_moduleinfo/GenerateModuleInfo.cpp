// Writes a VST 3 bundle's Contents/Resources/moduleinfo.json from what the
// module's factory answers and an instance of each class it makes, so the
// file hosts read without loading the module cannot disagree with it.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "effect/TonarvoVst3.h"
#include "host/vst3/Vst3Abi.h"

namespace {

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string flag(bool on) { return on ? "true" : "false"; }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s OUTPUT.json BUNDLE-NAME\n", argv[0]);
        return 2;
    }
    vst3::IPluginFactory3* factory = vst3face::moduleFactory(tonarvo::vst3Class());
    vst3::PFactoryInfo info{};
    if (factory->getFactoryInfo(&info) != vst3::kResultOk) return 1;

    std::ostringstream json;
    std::string moduleVersion;
    std::ostringstream classes;
    const vst3::int32 count = factory->countClasses();
    for (vst3::int32 k = 0; k < count; ++k) {
        vst3::PClassInfo2 c{};
        if (factory->getClassInfo2(k, &c) != vst3::kResultOk) return 1;
        // Each class must make an instance, or hosts would list a class that fails.
        void* made = nullptr;
        if (factory->createInstance(c.cid, vst3::IComponent::iid.data(), &made) != vst3::kResultOk || !made) {
            std::fprintf(stderr, "class %d makes no instance\n", static_cast<int>(k));
            return 1;
        }
        static_cast<vst3::IComponent*>(made)->release();
        if (moduleVersion.empty()) moduleVersion = c.version;
        std::vector<std::string> subCategories;
        std::istringstream tokens(c.subCategories);
        for (std::string token; std::getline(tokens, token, '|');)
            if (!token.empty()) subCategories.push_back(token);
        classes << (k ? ",\n" : "") << "    {\n"
                << "      \"CID\": " << quoted(vst3::printTuid(c.cid).text) << ",\n"
                << "      \"Category\": " << quoted(c.category) << ",\n"
                << "      \"Name\": " << quoted(c.name) << ",\n"
                << "      \"Vendor\": " << quoted(c.vendor) << ",\n"
                << "      \"Version\": " << quoted(c.version) << ",\n"
                << "      \"SDKVersion\": " << quoted(c.sdkVersion) << ",\n"
                << "      \"Sub Categories\": [";
        for (std::size_t t = 0; t < subCategories.size(); ++t) classes << (t ? ", " : "") << quoted(subCategories[t]);
        classes << "],\n"
                << "      \"Class Flags\": " << c.classFlags << ",\n"
                << "      \"Cardinality\": " << c.cardinality << ",\n"
                << "      \"Snapshots\": []\n"
                << "    }";
    }
    factory->release();

    json << "{\n"
         << "  \"Name\": " << quoted(argv[2]) << ",\n"
         << "  \"Version\": " << quoted(moduleVersion) << ",\n"
         << "  \"Factory Info\": {\n"
         << "    \"Vendor\": " << quoted(info.vendor) << ",\n"
         << "    \"URL\": " << quoted(info.url) << ",\n"
         << "    \"E-Mail\": " << quoted(info.email) << ",\n"
         << "    \"Flags\": {\n"
         << "      \"Unicode\": " << flag(info.flags & vst3::PFactoryInfo::kUnicode) << ",\n"
         << "      \"Classes Discardable\": " << flag(info.flags & vst3::PFactoryInfo::kClassesDiscardable) << ",\n"
         << "      \"Component Non Discardable\": "
         << flag(info.flags & vst3::PFactoryInfo::kComponentNonDiscardable) << "\n"
         << "    }\n"
         << "  },\n"
         << "  \"Classes\": [\n"
         << classes.str() << "\n"
         << "  ]\n"
         << "}\n";
    // Binary mode: the same bytes whichever platform writes them.
    std::ofstream out(argv[1], std::ios::binary);
    out << json.str();
    return out.good() ? 0 : 1;
}
