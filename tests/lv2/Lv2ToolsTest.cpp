// The bundle in Debian's LV2 tools: lv2ls lists it, lv2info shows the VST 2.4
// parameters' names and defaults, sord_validate accepts it against the LV2
// schemas, and lv2apply renders the demo bit for bit as vsthost renders it
// through the VST 2.4 library, at lv2info's defaults, minima and maxima.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr const char* kPluginUri = "urn:tonarvo:tonarvo";

// Output and exit status of a shell command; stderr is dropped (lilv warns
// about every file in a build directory on LV2_PATH).
std::string shell(const std::string& command, int* status = nullptr) {
    std::string out;
    if (FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        const int result = pclose(pipe);
        if (status) *status = result;
    }
    return out;
}

std::string lv2(const std::string& tool) {
    return std::string("LV2_PATH='") + TONARVO_BUILD_DIR + "' " + TONARVO_LV2_PRELOAD + tool;
}

struct ControlPort {
    std::string symbol, name;
    double minimum = NAN, maximum = NAN, defaultValue = NAN;
};

// lv2info's port blocks; the control ports are those with a range.
std::vector<ControlPort> controlPorts(const std::string& info) {
    std::vector<ControlPort> ports;
    ControlPort port;
    std::istringstream lines(info);
    for (std::string line; std::getline(lines, line);) {
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string key = line.substr(0, colon), value = line.substr(colon + 1);
        key.erase(0, key.find_first_not_of(" \t"));
        value.erase(0, value.find_first_not_of(" \t"));
        if (key.rfind("Port ", 0) == 0) port = {};
        if (key == "Symbol") port.symbol = value;
        if (key == "Name") port.name = value;
        if (key == "Minimum") port.minimum = std::stod(value);
        if (key == "Maximum") port.maximum = std::stod(value);
        if (key == "Default") {
            port.defaultValue = std::stod(value);
            ports.push_back(port);
        }
    }
    return ports;
}

struct Parameter {
    double shown;
    std::string name;
};

// The table of `vsthost info`: index, display, normalised, name.
std::vector<Parameter> vstParameters(const std::string& info) {
    std::vector<Parameter> parameters;
    std::istringstream lines(info.substr(info.find("#  display")));
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        int index;
        double shown, normalised;
        if (!(fields >> index >> shown >> normalised)) break;
        std::string name;
        std::getline(fields >> std::ws, name);
        parameters.push_back({shown, name});
    }
    return parameters;
}

std::vector<float> readSamples(const std::string& path, SF_INFO& info) {
    info = {};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return {};
    std::vector<float> samples(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    return samples;
}

const std::string kBuild = TONARVO_BUILD_DIR;

TEST(Lv2Tools, ListedDescribedAsTheVst24ParametersAndValid) {
    int status = -1;
    EXPECT_NE(shell(lv2("lv2ls")).find(std::string(kPluginUri) + "\n"), std::string::npos);
    const std::vector<ControlPort> ports = controlPorts(shell(lv2("lv2info ") + kPluginUri));
    const std::vector<Parameter> parameters = vstParameters(shell("'" + kBuild + "/vsthost' info '" + kBuild + "/Tonarvo.so'"));
    // The six controls, then the host's bypass switch.
    ASSERT_EQ(ports.size(), 7u);
    EXPECT_EQ(ports.back().symbol, "enabled");
    ASSERT_EQ(parameters.size(), 6u);
    for (std::size_t p = 0; p < parameters.size(); ++p) {
        EXPECT_EQ(ports[p].name, parameters[p].name);
        EXPECT_NEAR(ports[p].defaultValue, parameters[p].shown, 0.005);  // shown with two decimals
        EXPECT_LT(ports[p].minimum, ports[p].maximum);
    }
    const std::string validation =
        // Against the schemas lv2-dev installs, not whatever else /usr/lib/lv2 holds.
        shell("sord_validate $(dpkg -L lv2-dev | grep '^/usr/lib/lv2/.*\\.ttl$') '" + kBuild + "'/Tonarvo.lv2/*.ttl 2>&1",
              &status);
    EXPECT_EQ(status, 0) << validation;
    EXPECT_NE(validation.find("Found 0 errors"), std::string::npos) << validation;
}

TEST(Lv2Tools, Lv2applyRendersBitForBitAsVsthostAtEachControlsEnds) {
    // A stretch of the demo with its loud passage; lv2apply calls run once per frame.
    SF_INFO info;
    const std::vector<float> demo = readSamples(kBuild + "/demo.wav", info);
    ASSERT_EQ(info.channels, 2);
    const std::string excerpt = kBuild + "/lv2-excerpt.wav";
    {
        const auto start = static_cast<sf_count_t>(7.9 * info.samplerate);  // the loud bar starts at 8 s
        const auto frames = static_cast<sf_count_t>(TONARVO_LV2_RENDER_SECONDS * info.samplerate);
        SF_INFO out = info;
        out.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        SNDFILE* file = sf_open(excerpt.c_str(), SFM_WRITE, &out);
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(sf_writef_float(file, demo.data() + 2 * start, frames), frames);
        sf_close(file);
    }

    struct Setting {
        std::string lv2apply, vsthost, label;
    };
    std::vector<Setting> settings{{"", "", "defaults"}};
    const std::vector<ControlPort> ports = controlPorts(shell(lv2("lv2info ") + kPluginUri));
    ASSERT_EQ(ports.size(), 7u);
    for (std::size_t p = 0; p < 6; ++p)
        for (const bool top : {false, true}) {
            char value[32];
            std::snprintf(value, sizeof value, "%.9g", top ? ports[p].maximum : ports[p].minimum);
            settings.push_back({" -c " + ports[p].symbol + " " + value,
                                " --param " + std::to_string(p) + (top ? "=1" : "=0"),
                                ports[p].symbol + (top ? " maximum " : " minimum ") + value});
        }

    for (const Setting& s : settings) {
        const std::string lv2Out = kBuild + "/lv2-render.wav", vstOut = kBuild + "/vst-render.wav";
        int status = -1;
        shell(lv2("lv2apply -i '") + excerpt + "' -o '" + lv2Out + "'" + s.lv2apply + " " + kPluginUri, &status);
        ASSERT_EQ(status, 0) << s.label;
        shell("'" + kBuild + "/vsthost' render '" + kBuild + "/Tonarvo.so' '" + excerpt + "' '" + vstOut +
                  "' --quiet --block-size 1" + s.vsthost,
              &status);
        ASSERT_EQ(status, 0) << s.label;
        SF_INFO a, b;
        const std::vector<float> fromLv2 = readSamples(lv2Out, a), fromVst = readSamples(vstOut, b);
        ASSERT_FALSE(fromLv2.empty());
        ASSERT_EQ(fromLv2.size(), fromVst.size()) << s.label;
        std::size_t differing = 0;
        double largest = 0;
        for (std::size_t i = 0; i < fromLv2.size(); ++i)
            if (std::memcmp(&fromLv2[i], &fromVst[i], sizeof(float)) != 0) {
                ++differing;
                largest = std::fmax(largest, std::fabs(static_cast<double>(fromLv2[i]) - fromVst[i]));
            }
        std::printf("%-24s %zu frames, %zu samples differ (largest %g)\n", s.label.c_str(), fromLv2.size() / 2,
                    differing, largest);
        EXPECT_EQ(differing, 0u) << s.label;
    }
}

}  // namespace
