#include "editor/EditorScale.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

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

}  // namespace

double parse(const char* text) {
    double value = 0.0;
    return number(text, &value) ? usable(value) : 0.0;
}

double fromSettings(const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    double found = 0.0;
    while (std::getline(lines, line)) {
        std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#' || line[start] == ';') continue;
        const std::size_t equals = line.find('=', start);
        if (equals == std::string::npos) continue;
        std::string key = line.substr(start, equals - start);
        key.erase(key.find_last_not_of(" \t") + 1);
        if (key != "scale") continue;
        found = parse(line.c_str() + equals + 1);
    }
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

double userScale() {
    if (const double session = parse(std::getenv("TONARVO_SCALE")); session > 0) return session;
    const std::string path = settingsPath();
    if (path.empty()) return 0.0;
    std::ifstream file(path, std::ios::binary);
    if (!file) return 0.0;
    // A settings file is a few lines; anything larger is not ours to read whole.
    std::string text(4096, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
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

}  // namespace editor_scale
