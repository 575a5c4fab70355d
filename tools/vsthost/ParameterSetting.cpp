#include "tools/vsthost/ParameterSetting.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "tools/vsthost/Errors.h"
#include "tools/vsthost/Options.h"

namespace vhost {

namespace {

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

bool allDigits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

// Digits after the decimal point of the number a display starts with: the
// display's resolution, and so how close a match can be asked for.
int decimalsShown(const std::string& text) {
    const auto point = text.find('.');
    if (point == std::string::npos) return 0;
    int count = 0;
    for (std::size_t i = point + 1; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        ++count;
    return count;
}

}  // namespace

ParameterSetting parseParameterSetting(const std::string& text, const std::string& option) {
    // Values never contain '=', names might: split at the last one.
    const auto eq = text.rfind('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == text.size())
        throw UsageError("bad " + option + " '" + text + "': expected NAME_OR_INDEX=VALUE");
    ParameterSetting setting;
    setting.selector = text.substr(0, eq);
    std::string value = text.substr(eq + 1);
    if (value.back() == 'u' || value.back() == 'U') {
        setting.inDisplayUnits = true;
        value.pop_back();
    }
    const auto number = parseNumber(value);
    if (!number) throw UsageError("bad " + option + " '" + text + "': '" + value + "' is not a number");
    setting.value = *number;
    if (!setting.inDisplayUnits && (setting.value < 0.0 || setting.value > 1.0))
        throw UsageError("bad " + option + " '" + text + "': normalised values lie in 0..1 (append 'u' for displayed units)");
    return setting;
}

ParameterFamily parseParameterFamily(const std::string& text) {
    const auto eq = text.rfind('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == text.size())
        throw UsageError("bad --vary '" + text + "': expected NAME_OR_INDEX=V1,V2,...");
    const std::string selector = text.substr(0, eq);
    ParameterFamily family;
    std::size_t begin = eq + 1;
    for (;;) {
        const std::size_t comma = text.find(',', begin);
        const std::string value = text.substr(begin, comma == std::string::npos ? std::string::npos : comma - begin);
        if (value.empty()) throw UsageError("bad --vary '" + text + "': an empty value");
        family.values.push_back(parseParameterSetting(selector + "=" + value, "--vary"));
        if (comma == std::string::npos) break;
        begin = comma + 1;
    }
    if (family.values.size() > kMaxFamilySize)
        throw UsageError("bad --vary '" + text + "': at most " + std::to_string(kMaxFamilySize) +
                         " values fit one picture");
    return family;
}

int resolveParameter(const std::string& selector, const std::vector<std::string>& names) {
    const int count = static_cast<int>(names.size());
    if (allDigits(selector)) {
        const long index = selector.size() <= 9 ? std::strtol(selector.c_str(), nullptr, 10) : -1;
        if (index < 0 || index >= count)
            throw UsageError("no parameter with index " + selector + " (the plug-in has " + std::to_string(count) +
                             ")");
        return static_cast<int>(index);
    }
    const std::string wanted = lowercase(selector);
    std::vector<int> matches;
    for (int i = 0; i < count; ++i) {
        const std::string name = lowercase(names[static_cast<std::size_t>(i)]);
        if (name == wanted) return i;
        if (name.find(wanted) != std::string::npos) matches.push_back(i);
    }
    if (matches.size() == 1) return matches.front();
    std::string message;
    const std::vector<int>* listed = &matches;
    std::vector<int> all;
    if (matches.empty()) {
        message = "no parameter name contains '" + selector + "'; parameters:";
        for (int i = 0; i < count; ++i) all.push_back(i);
        listed = &all;
    } else {
        message = "'" + selector + "' matches " + std::to_string(matches.size()) + " parameters:";
    }
    for (std::size_t k = 0; k < listed->size(); ++k) {
        const int i = (*listed)[k];
        message += (k == 0 ? " " : ", ") + std::to_string(i) + " \"" + names[static_cast<std::size_t>(i)] + "\"";
    }
    throw UsageError(message);
}

std::optional<double> parseDisplayNumber(const std::string& text) {
    const char* begin = text.c_str();
    while (*begin == ' ' || *begin == '\t') ++begin;
    char* end = nullptr;
    const double value = std::strtod(begin, &end);
    if (end == begin || std::isnan(value)) return std::nullopt;
    return value;
}

float normalisedForDisplay(double target, const DisplayProbe& display, const std::string& parameterName) {
    struct Probe {
        float normalised;
        double shown;
        int decimals;
    };
    auto probe = [&](float normalised) -> Probe {
        const std::string text = display(normalised);
        const auto shown = parseDisplayNumber(text);
        if (!shown)
            throw ToolError("parameter '" + parameterName + "' shows '" + text +
                            "', not a number: give a normalised value instead");
        return {normalised, *shown, decimalsShown(text)};
    };
    const Probe low = probe(0.0f);
    const Probe high = probe(1.0f);
    const double minShown = std::min(low.shown, high.shown);
    const double maxShown = std::max(low.shown, high.shown);
    auto within = [&](const Probe& p) {
        // Half a unit of the last digit shown, plus slack for the binary
        // representation of a decimal display.
        const double tolerance = 0.5 * std::pow(10.0, -p.decimals) + 1e-9 * std::max(1.0, std::fabs(target));
        return std::fabs(p.shown - target) <= tolerance;
    };
    const bool rising = high.shown >= low.shown;

    Probe best = std::fabs(low.shown - target) <= std::fabs(high.shown - target) ? low : high;
    float lo = 0.0f;
    float hi = 1.0f;
    // A float has 24 bits of mantissa; beyond that the interval stops shrinking.
    for (int step = 0; step < 40 && hi > lo; ++step) {
        const float mid = lo + (hi - lo) * 0.5f;
        if (mid <= lo || mid >= hi) break;
        const Probe p = probe(mid);
        if (std::fabs(p.shown - target) < std::fabs(best.shown - target)) best = p;
        if (p.shown == target) break;
        if ((p.shown < target) == rising)
            lo = mid;
        else
            hi = mid;
    }
    if (!within(best)) {
        char range[128];
        std::snprintf(range, sizeof range, "%g..%g", minShown, maxShown);
        char wanted[64];
        std::snprintf(wanted, sizeof wanted, "%g", target);
        if (target < minShown - 1e-12 || target > maxShown + 1e-12)
            throw ToolError("parameter '" + parameterName + "' cannot show " + wanted + ": its display ranges over " +
                            range);
        char nearest[64];
        std::snprintf(nearest, sizeof nearest, "%g", best.shown);
        throw ToolError("parameter '" + parameterName + "' cannot show " + wanted + " exactly; nearest is " + nearest);
    }
    return best.normalised;
}

}  // namespace vhost
