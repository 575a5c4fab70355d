#include "runtime/SliderRecord.h"

#include <filesystem>
#include <system_error>

#include "runtime/ModulePath.h"

namespace plexa {

void SliderRecord::applyFolderRule() {
    if (scanned) return;
    scanned = true;
    if (folder.empty()) return;

    namespace fs = std::filesystem;
    std::error_code error;
    fs::directory_iterator it(fs::path(resolvePath(folder)), error);
    // The directory iterator puts its own separator between folder and name,
    // so a folder declared without a trailing separator finds its files too.
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        const std::string fileName = it->path().filename().string();
        if (fileName.empty() || fileName.front() == '.') continue;
        std::error_code statusError;
        const fs::file_status status = it->status(statusError);
        if (statusError || fs::is_directory(status)) continue;
        optionTexts.push_back(fileName);
    }
    if (optionTexts.empty()) optionTexts.emplace_back("(No Data Files)");

    defaultValue = 0.0;
    minimum = 0.0;
    maximum = static_cast<double>(optionTexts.size() - 1);
    step = 0.5;  // not 1: stored states depend on this grid
}

}  // namespace plexa
