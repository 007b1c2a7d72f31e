#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "gif_block_packer.h"
#include "palette.h"

namespace fernwise {

// The GIF writer's LZW coder for 8-bit pixels. Strings of pixels are kept
// whole in a packed store (code, length, pixels per entry) found through an
// open-addressed hash index with linear probing. The code width runs from 9
// to 12 bits; the table is cleared once code 4094 was assigned or when the
// store is nearly full. A string is never extended past 96 pixels.
//
// `CodeSink` receives every code with its width: `emit(code, width)`.
template <class CodeSink>
class LzwEncoder {
public:
    static constexpr std::size_t stringBufferSize = 100;
    static constexpr std::size_t storeSize = 24000;
    static constexpr std::uint32_t hashSlots = 6151;
    static constexpr int longestExtendedString = 96;
    static constexpr std::uint32_t lastCodeBeforeClear = 4093;
    static constexpr std::uint32_t storeFillLimit = 23895;

    enum class Allocation { Done, StringBufferFailed, TablesFailed };

    // Takes the three zero-filled work buffers; what was taken before a
    // failure is released again. `gate` may refuse any of them.
    Allocation allocate(AllocationGate* gate) {
        string_ = take<std::uint8_t>(stringBufferSize, gate);
        if (!string_) return Allocation::StringBufferFailed;
        store_ = take<std::uint8_t>(storeSize, gate);
        index_ = store_ ? take<std::uint16_t>(hashSlots, gate) : nullptr;
        if (!store_ || !index_) {
            release();
            return Allocation::TablesFailed;
        }
        return Allocation::Done;
    }

    void release() {
        string_.reset();
        store_.reset();
        index_.reset();
    }

    // Begins the data with a clear code at 9 bits.
    void start(CodeSink& sink) {
        sink_ = &sink;
        width_ = 9;
        resetTable();
    }

    void add(std::uint8_t pixel) {
        std::uint8_t* const string = string_.get();
        const int length = ++string[0];
        string[length] = pixel;
        if (length == 1) {
            prefixCode_ = pixel;
            return;
        }
        if (length == 2) hash_ = static_cast<std::uint16_t>((string[1] + 1) * 301);
        hash_ = static_cast<std::uint16_t>((pixel + length) * hash_ + 1);

        // The length byte leads both the current string and a store entry's
        // string, so one comparison checks length and pixels together.
        std::uint32_t slot = hash_ % hashSlots;
        std::uint16_t found = 0;
        bool emptySlot = false;
        for (std::uint32_t looked = 0; looked < hashSlots; ++looked) {
            slot = slot == hashSlots - 1 ? 0 : slot + 1;
            const std::uint16_t offset = index_[slot];
            if (offset == 0) {
                emptySlot = true;
                break;
            }
            const std::uint8_t* entry = store_.get() + offset;
            if (entry[2] == length && std::memcmp(entry + 3, string + 1, static_cast<std::size_t>(length)) == 0) {
                found = offset;
                break;
            }
        }
        if (found != 0 && length <= longestExtendedString) {
            prefixCode_ = static_cast<std::uint16_t>(store_[found] | (store_[found + 1] << 8));
            return;
        }

        emit(prefixCode_);
        ++assigned_;
        if (emptySlot) {
            // A string too long to extend, even when new, still takes its
            // code number; it is stored only when there was room for it.
            const std::uint16_t code = static_cast<std::uint16_t>(assigned_ + 257);
            std::uint8_t* entry = store_.get() + fill_;
            entry[0] = static_cast<std::uint8_t>(code);
            entry[1] = static_cast<std::uint8_t>(code >> 8);
            std::memcpy(entry + 2, string, static_cast<std::size_t>(length) + 1);
            index_[slot] = static_cast<std::uint16_t>(fill_);
            fill_ += static_cast<std::uint32_t>(length) + 3;
        }
        string[0] = 1;
        string[1] = pixel;
        prefixCode_ = pixel;
        if ((1u << width_) == assigned_ + 257) ++width_;
        if (assigned_ + 257 > lastCodeBeforeClear || fill_ > storeFillLimit) {
            emit(prefixCode_);
            resetTable();
        }
    }

    // Codes the pending string, if any, and ends the data.
    void finish() {
        if (string_[0] != 0) emit(prefixCode_);
        emit(gifEndCode);
    }

private:
    template <class T>
    static std::unique_ptr<T[]> take(std::size_t count, AllocationGate* gate) {
        if (gate != nullptr && !gate->allow(count * sizeof(T))) return nullptr;
        return std::unique_ptr<T[]>(new (std::nothrow) T[count]());
    }

    void emit(std::uint16_t code) { sink_->emit(code, width_); }

    void resetTable() {
        emit(gifClearCode);
        string_[0] = 0;
        assigned_ = 0;
        fill_ = 1;
        store_[0] = 0;
        width_ = 9;
        std::memset(index_.get(), 0, hashSlots * sizeof(std::uint16_t));
    }

    CodeSink* sink_ = nullptr;
    std::unique_ptr<std::uint8_t[]> string_;  // length byte, then up to 97 pixels
    std::unique_ptr<std::uint8_t[]> store_;   // entries from offset 1; 0 means none
    std::unique_ptr<std::uint16_t[]> index_;  // store offsets, 0 for an empty slot
    std::uint16_t prefixCode_ = 0;            // code of the current string less its last pixel
    std::uint16_t hash_ = 0;
    std::uint32_t assigned_ = 0;              // codes assigned since the last clear
    std::uint32_t fill_ = 1;
    int width_ = 9;
};

}  // namespace fernwise
