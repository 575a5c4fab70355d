// "--param NAME_OR_INDEX=VALUE": parsing the text, finding the parameter it
// names, and turning a value in displayed units into a normalised one.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vhost {

struct ParameterSetting {
    std::string selector;  // name fragment or index, as typed
    double value = 0.0;
    bool inDisplayUnits = false;  // "30u": 30 as the plug-in displays it
};

// Throws UsageError for a malformed setting or an out-of-range normalised value.
// `option` names the option in the message.
ParameterSetting parseParameterSetting(const std::string& text, const std::string& option = "--param");

// "--vary NAME_OR_INDEX=V1,V2,...": one parameter, several values, each
// with the rules of a single setting.
struct ParameterFamily {
    std::vector<ParameterSetting> values;  // all with the same selector
    bool empty() const { return values.empty(); }
};
inline constexpr std::size_t kMaxFamilySize = 12;

// Throws UsageError for a malformed list, a bad value, or more than kMaxFamilySize values.
ParameterFamily parseParameterFamily(const std::string& text);

// Index of the parameter the selector means: a plain number is an index; any
// other text must be a case-insensitive fragment of exactly one name (a name
// equal to the text wins over names merely containing it). Throws UsageError
// listing the candidates otherwise.
int resolveParameter(const std::string& selector, const std::vector<std::string>& names);

// The leading number of a display text such as "30.00" or "-6.0 dB".
std::optional<double> parseDisplayNumber(const std::string& text);

// Finds the normalised value in [0, 1] whose display, read back through
// `display` after setting it, shows `target`. Bisects on the assumption that
// the display is monotonic in the value (rising or falling). Throws ToolError
// when the target lies outside the displayed range or the display is not
// numeric.
using DisplayProbe = std::function<std::string(float normalised)>;
float normalisedForDisplay(double target, const DisplayProbe& display, const std::string& parameterName);

}  // namespace vhost
