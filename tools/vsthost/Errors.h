// The two ways a command can fail: the user asked for something malformed
// (usage error, exit 2) or the request was sound but could not be carried out
// (exit 1). main() turns both into a single line on stderr.
#pragma once

#include <stdexcept>
#include <string>

namespace vhost {

struct ToolError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct UsageError : ToolError {
    using ToolError::ToolError;
};

}  // namespace vhost
