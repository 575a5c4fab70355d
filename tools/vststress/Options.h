// What the battery is told on its command line. Every limit a check applies
// is a flag, so a plug-in with other legitimate bounds can be held to its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace stress {

struct Options {
    std::string pluginPath;
    // Multiplies every count and duration: 1 is the short run CI makes,
    // --long is 10.
    double scale = 1.0;
    std::vector<std::string> only;  // test names or group prefixes ("state.")
    std::vector<std::string> skip;
    bool list = false;
    bool verbose = false;
    bool editor = true;
    std::uint32_t seed = 1;

    double bound = 2.0;          // largest output magnitude allowed
    double recoverSeconds = 2.0; // after bad input ends
    double stuckSeconds = 0.02;  // an output unchanged this long under music is stuck
    double blockRatio = 4.0;     // worst block / median full-load block
    double hangSeconds = 30.0;   // watchdog: a thread making no progress this long has hung
    int creatorThreads = 4;
};

// Throws UsageError (tools/vsthost/Errors.h) on a malformed command line.
Options parseOptions(const std::vector<std::string>& arguments);

const char* usageText();

}  // namespace stress
