#include "host/vst3/Vst3PresetFile.h"

#include <cstring>

namespace vst3face {

namespace {

constexpr std::size_t kHeaderSize = 48;
constexpr std::size_t kEntrySize = 20;
// Hosts' readers give up beyond this many entries.
constexpr std::uint32_t kMaxEntries = 128;

void put(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
    for (int k = 0; k < bytes; ++k) out.push_back(static_cast<std::uint8_t>(value >> (8 * k)));
}

void putId(std::vector<std::uint8_t>& out, const char* id) { out.insert(out.end(), id, id + 4); }

std::uint64_t get(const std::uint8_t* data, int bytes) {
    std::uint64_t value = 0;
    for (int k = 0; k < bytes; ++k) value |= static_cast<std::uint64_t>(data[k]) << (8 * k);
    return value;
}

bool hexDigits(const std::string& text) {
    if (text.size() != 32) return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    return true;
}

}  // namespace

std::vector<std::uint8_t> writePresetFile(const PresetFile& preset) {
    if (!hexDigits(preset.classId)) return {};
    struct Entry {
        const char* id;
        const std::vector<std::uint8_t>* bytes;
    };
    std::vector<Entry> entries{{"Comp", &preset.componentState}};
    if (!preset.controllerState.empty()) entries.push_back({"Cont", &preset.controllerState});

    std::vector<std::uint8_t> out;
    putId(out, "VST3");
    put(out, 1, 4);
    out.insert(out.end(), preset.classId.begin(), preset.classId.end());
    const std::size_t listOffsetAt = out.size();
    put(out, 0, 8);  // the list's offset, known once the chunks are in
    std::vector<std::uint64_t> offsets;
    for (const Entry& e : entries) {
        offsets.push_back(out.size());
        out.insert(out.end(), e.bytes->begin(), e.bytes->end());
    }
    const std::uint64_t listOffset = out.size();
    for (int k = 0; k < 8; ++k) out[listOffsetAt + k] = static_cast<std::uint8_t>(listOffset >> (8 * k));
    putId(out, "List");
    put(out, entries.size(), 4);
    for (std::size_t k = 0; k < entries.size(); ++k) {
        putId(out, entries[k].id);
        put(out, offsets[k], 8);
        put(out, entries[k].bytes->size(), 8);
    }
    return out;
}

bool readPresetFile(const std::uint8_t* data, std::size_t size, PresetFile& preset) {
    if (data == nullptr || size < kHeaderSize || std::memcmp(data, "VST3", 4) != 0 || get(data + 4, 4) != 1) return false;
    const std::string classId(reinterpret_cast<const char*>(data + 8), 32);
    if (!hexDigits(classId)) return false;
    const std::uint64_t listOffset = get(data + 40, 8);
    if (listOffset < kHeaderSize || listOffset > size || size - listOffset < 8 ||
        std::memcmp(data + listOffset, "List", 4) != 0)
        return false;
    const std::uint64_t count = get(data + listOffset + 4, 4);
    if (count == 0 || count > kMaxEntries || (size - listOffset - 8) / kEntrySize < count) return false;
    PresetFile read;
    read.classId = classId;
    bool component = false;
    for (std::uint64_t k = 0; k < count; ++k) {
        const std::uint8_t* entry = data + listOffset + 8 + k * kEntrySize;
        const std::uint64_t offset = get(entry + 4, 8), length = get(entry + 12, 8);
        // Every chunk lies between the header and the list.
        if (offset < kHeaderSize || offset > listOffset || length > listOffset - offset) return false;
        std::vector<std::uint8_t> bytes(data + offset, data + offset + length);
        if (std::memcmp(entry, "Comp", 4) == 0 && !component) {
            read.componentState = std::move(bytes);
            component = true;
        } else if (std::memcmp(entry, "Cont", 4) == 0) {
            read.controllerState = std::move(bytes);
        }
    }
    if (!component) return false;
    preset = std::move(read);
    return true;
}

}  // namespace vst3face
