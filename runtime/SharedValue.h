// Effect values that host threads touch without a lock: the sliders (written
// by parameter, editor and state calls, read by the audio thread), the meters
// and shown values (written per sample, read by the editor's paint), the host
// values every section's copy step refreshes, and what the editor and the
// initialisation both set. The design stays lock-free and unordered; these two
// operations only make such an access defined and untorn. A relaxed atomic
// load or store of a double is one plain move on x86-64, so the audio path
// costs the same. A value only one thread touches stays a plain variable.
#pragma once

#include <atomic>

namespace plexa {

static_assert(std::atomic_ref<double>::is_always_lock_free, "a shared value must never take a lock");

inline double readShared(const double& cell) noexcept {
    // atomic_ref wants a modifiable object; a load leaves it untouched.
    return std::atomic_ref<double>(const_cast<double&>(cell)).load(std::memory_order_relaxed);
}

inline void writeShared(double& cell, double value) noexcept {
    std::atomic_ref<double>(cell).store(value, std::memory_order_relaxed);
}

}  // namespace plexa
