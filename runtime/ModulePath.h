// File names the runtime opens are relative to the plug-in library's folder.
#pragma once

#include <string>

namespace plexa {

// Path of the library file cut after its last '\' or '/', separator kept;
// empty when the path holds no separator.
std::string moduleDirectory();
std::string moduleDirectoryOf(const std::string& libraryPath);

// moduleDirectory() + name, with one leading '\' or '/' of name dropped.
std::string resolvePath(const std::string& name);

}  // namespace plexa
