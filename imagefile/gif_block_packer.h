#pragma once

#include <array>
#include <cstdint>
#include <cstring>

namespace fernwise {

inline constexpr std::uint16_t gifClearCode = 256;
inline constexpr std::uint16_t gifEndCode = 257;

// Packs variable-width codes, least significant bit first, into GIF image
// data sub-blocks and hands each finished sub-block (its length byte first)
// to `Output::write(const void*, std::size_t)`. A sub-block is sent as soon
// as more than 250 bytes are complete, so all but the last hold 251 or 252
// data bytes; the end-of-information code sends the rest, padded with zero
// bits to a whole byte.
template <class Output>
class GifBlockPacker {
public:
    explicit GifBlockPacker(Output& output) : output_(output) {}

    void reset() {
        buffer_.fill(0);
        byteIndex_ = 1;
        bitPosition_ = 0;
    }

    void emit(std::uint16_t code, int width) {
        // Byte 0 is the length; a code of up to 12 bits at bit position up
        // to 7 touches at most three bytes, and the index never passes 254.
        const std::uint32_t bits = std::uint32_t{code} << bitPosition_;
        buffer_[byteIndex_] |= static_cast<std::uint8_t>(bits);
        buffer_[byteIndex_ + 1] |= static_cast<std::uint8_t>(bits >> 8);
        buffer_[byteIndex_ + 2] |= static_cast<std::uint8_t>(bits >> 16);
        bitPosition_ += width;
        byteIndex_ += bitPosition_ >> 3;
        bitPosition_ &= 7;
        if (byteIndex_ <= 251 && code != gifEndCode) return;
        if (code == gifEndCode && bitPosition_ > 0) ++byteIndex_;
        buffer_[0] = static_cast<std::uint8_t>(byteIndex_ - 1);
        output_.write(buffer_.data(), byteIndex_);
        // The partly filled byte and those after it start the next sub-block.
        std::memmove(buffer_.data() + 1, buffer_.data() + byteIndex_, 5);
        std::memset(buffer_.data() + 6, 0, buffer_.size() - 6);
        byteIndex_ = 1;
    }

private:
    Output& output_;
    std::array<std::uint8_t, 267> buffer_{};
    std::size_t byteIndex_ = 1;
    int bitPosition_ = 0;
};

}  // namespace fernwise
