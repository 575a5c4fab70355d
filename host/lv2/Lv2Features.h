// Looking up what an LV2 host passes: features by URI.
#pragma once

#include <lv2/core/lv2.h>

#include <cstring>

namespace lv2face {

// The data of the feature with this URI; null when the host gave none.
inline void* featureData(const LV2_Feature* const* features, const char* uri) {
    for (const LV2_Feature* const* f = features; f && *f; ++f)
        if ((*f)->URI && std::strcmp((*f)->URI, uri) == 0) return (*f)->data;
    return nullptr;
}

}  // namespace lv2face
