#include "foundation/StreamKindNames.h"

#include <iterator>

#include <velkora/records.h>

namespace velkora {

const StreamKindNames& NamesOfStreamKind(uint32_t kind)
{
    static constexpr StreamKindNames named[] = {
        {"Rec", "Recording", ""},        // StreamKindRec
        {"Live", "Live", "Live"},        // StreamKindLive
        {"Remote", "Remote", "Remote"},  // StreamKindRemote
    };
    static constexpr StreamKindNames unnamed{"", "", ""};
    static_assert(StreamKindRec == 0 && StreamKindLive == 1 && StreamKindRemote == 2);
    return kind < std::size(named) ? named[kind] : unnamed;
}

}  // namespace velkora
