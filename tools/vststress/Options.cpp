#include "tools/vststress/Options.h"

#include <cmath>
#include <cstdlib>

#include "tools/vsthost/Errors.h"
#include "tools/vststress/Battery.h"

namespace stress {

namespace {

double number(const std::string& flag, const std::string& text, double low, double high) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value) || value < low || value > high)
        throw vhost::UsageError(format("%s wants a number from %g to %g, not '%s'", flag.c_str(), low, high,
                                       text.c_str()));
    return value;
}

std::vector<std::string> names(const std::string& text) {
    std::vector<std::string> list;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = text.find(',', start);
        const std::string name = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!name.empty()) list.push_back(name);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return list;
}

}  // namespace

const char* usageText() {
    return "usage: vststress PLUGIN [options]\n"
           "Loads a VST 2.4 plug-in, a VST 3 bundle (.vst3) or a CLAP file (.clap) and runs a\n"
           "stress battery against it, one line per test;\n"
           "exits 1 when any test fails, 2 on a usage error.\n"
           "  --long            ten times the counts and durations of the default (CI) run\n"
           "  --scale S         multiply counts and durations by S (0.05 to 100)\n"
           "  --only A,B        run only these tests or groups (a name ending in '.' is a group)\n"
           "  --skip A,B        leave these tests or groups out\n"
           "  --list            list the tests and exit\n"
           "  --no-editor       never open the editor (the UI thread still idles it)\n"
           "  --bound B         largest output magnitude allowed (default 2)\n"
           "  --recover S       seconds the output may take to recover after bad input (default 2)\n"
           "  --stuck S         an output unchanged for S seconds while music plays is stuck (default 0.02)\n"
           "  --block-ratio R   a special block may cost R times a median full-load block (default 4)\n"
           "  --hang S          a thread without progress for S seconds has hung (default 30)\n"
           "  --threads N       threads creating instances at once (default 4)\n"
           "  --seed N          seed for the random settings, chunks and sizes (default 1)\n"
           "  --verbose         figures for every case\n";
}

Options parseOptions(const std::vector<std::string>& arguments) {
    Options options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& flag = arguments[i];
        const auto value = [&]() -> const std::string& {
            if (i + 1 >= arguments.size()) throw vhost::UsageError(flag + " needs a value");
            return arguments[++i];
        };
        if (flag == "--long") options.scale = 10.0;
        else if (flag == "--scale") options.scale = number(flag, value(), 0.05, 100.0);
        else if (flag == "--only") options.only = names(value());
        else if (flag == "--skip") options.skip = names(value());
        else if (flag == "--list") options.list = true;
        else if (flag == "--verbose") options.verbose = true;
        else if (flag == "--no-editor") options.editor = false;
        else if (flag == "--bound") options.bound = number(flag, value(), 1e-3, 1e30);
        else if (flag == "--stuck") options.stuckSeconds = number(flag, value(), 1e-4, 60.0);
        else if (flag == "--recover") options.recoverSeconds = number(flag, value(), 0.01, 600.0);
        else if (flag == "--block-ratio") options.blockRatio = number(flag, value(), 1.0, 1e6);
        else if (flag == "--hang") options.hangSeconds = number(flag, value(), 1.0, 3600.0);
        else if (flag == "--threads") options.creatorThreads = static_cast<int>(number(flag, value(), 1, 64));
        else if (flag == "--seed") options.seed = static_cast<std::uint32_t>(number(flag, value(), 0, 4294967295.0));
        else if (!flag.empty() && flag[0] == '-') throw vhost::UsageError("unknown option " + flag);
        else if (options.pluginPath.empty()) options.pluginPath = flag;
        else throw vhost::UsageError("one plug-in at a time; '" + flag + "' is one too many");
    }
    if (options.pluginPath.empty() && !options.list) throw vhost::UsageError("no plug-in given");
    return options;
}

}  // namespace stress
