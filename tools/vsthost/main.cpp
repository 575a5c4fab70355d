// vsthost: a command-line host for VST 2.4, VST 3 and CLAP plug-ins. Every
// failure ends as one line on stderr and a non-zero exit status, never as an
// uncaught exception.
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "tools/vsthost/Analyze.h"
#include "tools/vsthost/Commands.h"
#include "tools/vsthost/Errors.h"
#include "tools/vsthost/Options.h"
#include "tools/vsthost/Render.h"

int main(int argc, char** argv) {
    using namespace vhost;
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        const Options options = parseCommandLine(args);
        switch (options.command) {
            case Command::Help:
                // Asked for, help is output; a bare "vsthost" is a usage error.
                if (args.empty()) {
                    std::fputs(usageText(), stderr);
                    return 2;
                }
                std::fputs(usageText(), stdout);
                return 0;
            case Command::Info:
                runInfo(options, stdout);
                break;
            case Command::Render:
                runRender(options, stdout);
                break;
            case Command::Analyze:
                runAnalyze(options, stdout);
                break;
            case Command::StateSave:
                runStateSave(options, stdout);
                break;
            case Command::StateLoad:
                runStateLoad(options, stdout);
                break;
        }
        return std::fflush(stdout) == 0 ? 0 : 1;
    } catch (const UsageError& error) {
        std::fprintf(stderr, "vsthost: %s\n", error.what());
        return 2;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "vsthost: out of memory\n");
        return 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vsthost: %s\n", error.what());
        return 1;
    }
}
