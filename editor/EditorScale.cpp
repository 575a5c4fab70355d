#include "editor/EditorScale.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace editor_scale {

double usable(double s) { return std::isfinite(s) && s >= kSmallest && s <= kLargest ? s : 0.0; }

namespace {

// The whole text as a plain decimal number; false when it is not one. The C
// library's strtod would follow a locale the host may have changed, and
// settings are written with a full stop.
bool number(const char* text, double* value) {
    if (text == nullptr) return false;
    const char* p = text;
    while (*p == ' ' || *p == '\t') ++p;
    double whole = 0.0, fraction = 0.0, place = 1.0;
    bool digits = false;
    while (std::isdigit(static_cast<unsigned char>(*p))) {
        whole = whole * 10 + (*p++ - '0');
        digits = true;
        if (whole > 1e6) return false;
    }
    if (*p == '.') {
        ++p;
        while (std::isdigit(static_cast<unsigned char>(*p))) {
            place /= 10;
            fraction += (*p++ - '0') * place;
            digits = true;
        }
    }
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') ++p;
    if (!digits || *p != '\0') return false;
    *value = whole + fraction;
    return true;
}

// Whether a settings line sets the scale (not a comment, the key "scale"
// before its '='); `equals` is where that '=' stands.
bool scaleLine(const std::string& line, std::size_t& equals) {
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#' || line[start] == ';') return false;
    equals = line.find('=', start);
    if (equals == std::string::npos) return false;
    std::string key = line.substr(start, equals - start);
    key.erase(key.find_last_not_of(" \t") + 1);
    return key == "scale";
}

}  // namespace

double parse(const char* text) {
    double value = 0.0;
    return number(text, &value) ? usable(value) : 0.0;
}

double fromSettings(const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    double found = 0.0;
    std::size_t equals = 0;
    while (std::getline(lines, line))
        if (scaleLine(line, equals)) found = parse(line.c_str() + equals + 1);
    return found;
}

double fromXResources(const char* resources) {
    if (resources == nullptr) return 0.0;
    // One "name:\tvalue" per line; the resource manager string holds the
    // merged database, so each name appears at most once.
    std::istringstream lines(resources);
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string name = line.substr(0, colon);
        name.erase(0, name.find_first_not_of(" \t"));
        name.erase(name.find_last_not_of(" \t") + 1);
        if (name != "Xft.dpi") continue;
        double dpi = 0.0;
        return number(line.c_str() + colon + 1, &dpi) ? usable(dpi / 96.0) : 0.0;
    }
    return 0.0;
}

std::string settingsPath() {
#ifdef _WIN32
    const char* appData = std::getenv("APPDATA");
    if (appData == nullptr || *appData == '\0') return {};
    return std::string(appData) + "\\Tonarvo\\settings.ini";
#else
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
        return std::string(config) + "/Tonarvo/settings";
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') return {};
    return std::string(home) + "/.config/Tonarvo/settings";
#endif
}

namespace {

// The first 4 KiB of the settings file (a settings file is a few lines);
// true when that was all of it, false also when there is no file to read.
bool readSettings(const std::string& path, std::string& text) {
    constexpr std::size_t kLimit = 4096;
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    text.assign(kLimit + 1, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    const auto read = static_cast<std::size_t>(file.gcount());
    text.resize(std::min(read, kLimit));
    return read <= kLimit;
}

}  // namespace

double userScale() {
    if (const double session = parse(std::getenv("TONARVO_SCALE")); session > 0) return session;
    const std::string path = settingsPath();
    if (path.empty()) return 0.0;
    std::string text;
    readSettings(path, text);
    return fromSettings(text);
}

double choose(double user, double host, double screen) {
    for (double s : {user, host, screen})
        if (usable(s) > 0) return s;
    return 1.0;
}

int scaled(int length, double s) {
    if (usable(s) == 0) s = 1.0;
    return static_cast<int>(std::lround(length * s));
}

Size fit(int layoutWidth, int layoutHeight, double width, double height) {
    const double w = layoutWidth, h = layoutHeight;
    if (!std::isfinite(width)) width = 0;
    if (!std::isfinite(height)) height = 0;
    // The point of the ratio's line nearest the proposal: a drag along one
    // edge moves the size as much as it can along the other.
    const double s = (width * w + height * h) / (w * w + h * h);
    const double device = std::clamp(std::round(w * s), w * kSmallest, w * kLargest);
    return {static_cast<int>(device), static_cast<int>(std::lround(h * device / w))};
}

std::string withScale(const std::string& text, double s) {
    char value[32];
    std::snprintf(value, sizeof value, "%.7f", s);
    std::string number = value;
    // Seven places keep the size the scale gives to the pixel; zeros after
    // them say nothing.
    number.erase(number.find_last_not_of('0') + 1);
    if (number.back() == '.') number.pop_back();
    std::istringstream lines(text);
    std::string line, out;
    bool written = false;
    std::size_t equals = 0;
    while (std::getline(lines, line)) {
        if (scaleLine(line, equals)) {
            if (!written) out += "scale=" + number + "\n";
            written = true;
            continue;
        }
        out += line + "\n";
    }
    if (!written) out += "scale=" + number + "\n";
    return out;
}

bool saveUserScale(double s) {
    if (usable(s) == 0) return false;
    const std::string path = settingsPath();
    if (path.empty()) return false;
    std::string text;
    if (!readSettings(path, text) && std::filesystem::exists(path)) return false;  // too large to be ours
    std::error_code failed;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), failed);
    // Written beside and moved over it: a host reading the file meanwhile
    // (another instance opening its editor) sees the old file or the new.
    const std::string temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << withScale(text, s);
        if (!out.flush()) return false;
    }
#ifdef _WIN32
    return MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return std::rename(temporary.c_str(), path.c_str()) == 0;
#endif
}

}  // namespace editor_scale
