#include "tools/vsthost/Progress.h"

#include <unistd.h>

namespace vhost {

bool stderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

ProgressBar::ProgressBar(std::int64_t total, bool enabled) : total_(total), enabled_(enabled && total > 0) {}

ProgressBar::~ProgressBar() { finish(); }

void ProgressBar::update(std::int64_t done) {
    if (!enabled_) return;
    const std::int64_t clamped = done < 0 ? 0 : (done > total_ ? total_ : done);
    const int percent = static_cast<int>(clamped * 100 / total_);
    if (percent == lastPercent_) return;  // redraw only when something visibly changes
    lastPercent_ = percent;
    constexpr int kWidth = 40;
    const int filled = percent * kWidth / 100;
    char bar[kWidth + 1];
    for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '-';
    bar[kWidth] = '\0';
    std::fprintf(stderr, "\r[%s] %3d%%", bar, percent);
    std::fflush(stderr);
}

void ProgressBar::finish() {
    if (!enabled_) return;
    update(total_);
    std::fputc('\n', stderr);
    enabled_ = false;
}

}  // namespace vhost
