#include "tools/vsthost/Levels.h"

#include <cmath>
#include <cstdio>

namespace vhost {

std::string formatDbfs(double peak) {
    if (!(peak > 0.0)) return "-inf dBFS";
    char text[32];
    std::snprintf(text, sizeof text, "%+.2f dBFS", 20.0 * std::log10(peak));
    return text;
}

std::string formatPeaks(const std::vector<double>& peaks) {
    std::string text;
    for (std::size_t c = 0; c < peaks.size(); ++c) {
        if (c > 0) text += ", ";
        if (peaks.size() == 2)
            text += c == 0 ? "L " : "R ";
        else if (peaks.size() > 1)
            text += std::to_string(c + 1) + " ";
        text += formatDbfs(peaks[c]);
    }
    return text;
}

}  // namespace vhost
