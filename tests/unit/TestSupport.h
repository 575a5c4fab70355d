// Shared helpers for the runtime's unit tests.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "runtime/platform/Platform.h"

// A fresh folder under the system's temporary directory, removed afterwards.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tonarvo-test-XXXXXX").string();
        path_ = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Installs platform hooks for one test and restores the previous ones.
class ScopedHooks {
public:
    explicit ScopedHooks(const platform::Hooks& hooks) : previous_(platform::setHooks(hooks)) {}
    ~ScopedHooks() { platform::setHooks(previous_); }

private:
    platform::Hooks previous_;
};
