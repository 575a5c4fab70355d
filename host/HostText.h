// Copies a text into a buffer the host owns. Hosts size those buffers from
// the interface's documented maxima, which are smaller than some of our texts
// (slider names run to 60 characters); copying whole would write past them.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

namespace vsthost {

// Every text we hand a host fits in this many bytes, terminating zero included.
// Hosts in practice give at least 64 for names, labels, displays and program
// names, and our longest text (a 60-character slider name) fits whole.
constexpr std::size_t kHostTextCapacity = 64;

inline void copyToHostBuffer(char* buffer, const std::string& text, std::size_t capacity = kHostTextCapacity) {
    if (buffer == nullptr || capacity == 0) return;
    const std::size_t length = text.size() < capacity - 1 ? text.size() : capacity - 1;
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

}  // namespace vsthost
