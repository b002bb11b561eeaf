#pragma once
// The names of a stream kind (StreamKind of <velkora/records.h>) in each form the
// library writes them. Kinds without a name (3 and above) give empty texts.

#include <cstdint>

namespace velkora {

struct StreamKindNames {
    const char* tag;        // "Rec", "Live", "Remote": "(Rec)" in messages, "RecStream" as frame source
    const char* word;       // "Recording", "Live", "Remote": configuration warnings
    const char* keySuffix;  // "", "Live", "Remote": channel configuration keys and own profile names
};

const StreamKindNames& NamesOfStreamKind(uint32_t kind);

}  // namespace velkora
