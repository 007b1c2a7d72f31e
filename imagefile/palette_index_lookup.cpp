#include "palette_index_lookup.h"

namespace fernwise {

PaletteIndexLookup::PaletteIndexLookup(const PaletteEntries& entries) {
    keys_.fill(emptyKey);
    for (int i = 0; i < searchedEntries; ++i) {
        const std::uint32_t key = pack(entries[static_cast<std::size_t>(i)].rgb());
        std::uint32_t slot = hash(key);
        while (keys_[slot] != emptyKey && keys_[slot] != key) slot = (slot + 1) & slotMask;
        // A colour already present keeps its lower index: first match wins.
        if (keys_[slot] == emptyKey) {
            keys_[slot] = key;
            values_[slot] = static_cast<std::uint8_t>(i);
        }
    }
}

}  // namespace fernwise
