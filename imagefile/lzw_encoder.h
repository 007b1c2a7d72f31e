#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "gif_block_packer.h"
#include "palette.h"

namespace fernwise {

// The GIF writer's LZW coder for 8-bit pixels. The code width runs from 9 to
// 12 bits, a string is never extended past 96 pixels, and the table is
// cleared once code 4094 was assigned or when its string store is nearly
// full.
//
// The string store is kept as its fill offset alone: every stored string
// would take its code (2 bytes), its length (1 byte) and its pixels from a
// store of 24,000 bytes whose offset 0 is never used, and once more than
// 23,895 bytes are taken the table is cleared. The fill is all of the store
// that shapes the output, so strings are found by (prefix code, last pixel)
// in an open-addressed hash table instead of by their pixels. That is the
// same lookup: no string is stored twice, and every stored string is the
// string current at that moment (one pixel, or a string found in the table)
// plus one pixel, so two strings are equal exactly when the codes of their
// prefixes and their last pixels are. It makes a pixel cost one probe of a
// 32-bit slot, which keeps the writer as fast as common GIF libraries.
//
// `CodeSink` receives every code with its width: `emit(code, width)`.
template <class CodeSink>
class LzwEncoder {
public:
    static constexpr int longestExtendedString = 96;
    static constexpr std::uint32_t lastCodeBeforeClear = 4093;
    static constexpr std::uint32_t storeFillLimit = 23895;
    // A power of two above twice the 3,837 strings a table can hold keeps
    // the probe sequences short, and a free slot always ends them.
    static constexpr std::uint32_t tableSlots = 8192;
    static_assert(tableSlots > 2 * (lastCodeBeforeClear - 257));

    // Takes the zero-filled table; `gate` may refuse it.
    bool allocate(AllocationGate* gate) {
        if (gate != nullptr && !gate->allow(tableSlots * sizeof(std::uint32_t))) return false;
        table_.reset(new (std::nothrow) std::uint32_t[tableSlots]());
        return table_ != nullptr;
    }

    void release() { table_.reset(); }

    // Begins the data with a clear code at 9 bits.
    void start(CodeSink& sink) {
        sink_ = &sink;
        width_ = 9;
        resetTable();
    }

    // The search for the longest known string is kept apart from the rare
    // work of ending a string, and its state in locals over a whole run of
    // pixels, so that the loop stays in registers.
    void add(const std::uint8_t* pixels, std::size_t count) {
        const std::uint32_t* const table = table_.get();
        std::uint32_t prefixCode = prefixCode_;
        std::uint32_t length = length_;
        const std::uint8_t* const end = pixels + count;
        for (const std::uint8_t* at = pixels; at != end; ++at) {
            const std::uint32_t pixel = *at;
            if (length == 0) {
                prefixCode = pixel;
                length = 1;
                continue;
            }
            // A slot holds the string's key above its 12-bit code; codes
            // start at 258, so a used slot is never 0.
            const std::uint32_t key = prefixCode << 8 | pixel;
            std::uint32_t slot = slotOf(prefixCode, pixel);
            std::uint32_t entry;
            while ((entry = table[slot]) != 0 && entry >> 12 != key) slot = (slot + 1) & (tableSlots - 1);
            if (entry != 0 && length < longestExtendedString) {
                prefixCode = entry & 0xfff;
                ++length;
                continue;
            }
            length = endString(prefixCode, key, entry == 0 ? slot : noSlot, length + 1);
            prefixCode = pixel;
        }
        prefixCode_ = static_cast<std::uint16_t>(prefixCode);
        length_ = length;
    }

    // Codes the pending string, if any, and ends the data.
    void finish() {
        if (length_ != 0) emit(prefixCode_);
        emit(gifEndCode);
    }

private:
    static constexpr std::uint32_t noSlot = tableSlots;

    // Each pixel value moves the slot by its own fixed random pattern; the
    // prefix code enters with as little work as possible, since the next
    // lookup waits for it. Both parts stay below 8192, so no mask is needed.
    static std::uint32_t slotOf(std::uint32_t prefixCode, std::uint32_t pixel) {
        return (prefixCode * 2) ^ pixelPatterns[pixel];
    }
    static constexpr std::array<std::uint16_t, 256> pixelPatterns = [] {
        std::array<std::uint16_t, 256> patterns{};
        std::uint32_t state = 0x2545f491u;
        for (auto& pattern : patterns) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            pattern = static_cast<std::uint16_t>(state & (tableSlots - 1));
        }
        return patterns;
    }();

    // The current string plus the next pixel (`key`, `length` pixels) is not
    // an extendable known string: codes the current string, stores the new
    // one in `freeSlot` unless it is known already, and starts the next
    // string with the pixel. Returns that string's length, 0 after a clear.
    std::uint32_t endString(std::uint32_t prefixCode, std::uint32_t key, std::uint32_t freeSlot, std::uint32_t length) {
        emit(static_cast<std::uint16_t>(prefixCode));
        ++assigned_;
        if (freeSlot != noSlot) {
            // A string too long to extend takes a code number even when it
            // is already stored, but is stored only once.
            table_[freeSlot] = key << 12 | (assigned_ + 257);
            storeFill_ += length + 3;
        }
        if ((1u << width_) == assigned_ + 257) ++width_;
        if (assigned_ + 257 > lastCodeBeforeClear || storeFill_ > storeFillLimit) {
            emit(static_cast<std::uint16_t>(key & 0xff));
            // A decoder takes that code as one more table entry and widens
            // its codes once the entries fill the width, so the clear code
            // must come at the width the decoder then reads. Only a clear
            // for a full store can meet a new width here; after code 4094
            // the width stays 12.
            if ((1u << width_) == assigned_ + 258) ++width_;
            resetTable();
            return 0;
        }
        return 1;
    }

    void emit(std::uint16_t code) { sink_->emit(code, width_); }

    void resetTable() {
        emit(gifClearCode);
        length_ = 0;
        assigned_ = 0;
        storeFill_ = 1;
        width_ = 9;
        std::memset(table_.get(), 0, tableSlots * sizeof(std::uint32_t));
    }

    CodeSink* sink_ = nullptr;
    std::unique_ptr<std::uint32_t[]> table_;
    std::uint16_t prefixCode_ = 0;  // code of the current string, which the next pixel extends
    std::uint32_t length_ = 0;      // pixels in the current string; 0 right after a clear
    std::uint32_t assigned_ = 0;    // codes assigned since the last clear
    std::uint32_t storeFill_ = 1;   // next free offset of the string store
    int width_ = 9;
};

}  // namespace fernwise
