// A one-line progress bar on stderr, drawn only when stderr is a terminal so
// logs and pipes stay clean.
#pragma once

#include <cstdint>
#include <cstdio>

namespace vhost {

class ProgressBar {
public:
    ProgressBar(std::int64_t total, bool enabled);
    ~ProgressBar();
    void update(std::int64_t done);
    void finish();

private:
    std::int64_t total_;
    bool enabled_;
    int lastPercent_ = -1;
};

// Whether a progress bar would be drawn (stderr is a terminal).
bool stderrIsTerminal();

}  // namespace vhost
