#include "zip/DeflateWalk.h"

#include <algorithm>
#include <array>
#include <vector>

namespace kuv::zip {

namespace {

constexpr int kMaxBits = 15;     // the longest code deflate allows
constexpr int kTableBits = 10;   // codes up to this long are found in one look

// Reads bits least significant first, as deflate packs them; past the end
// it gives zeros and remembers that it ran out.
class BitReader {
public:
    BitReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint32_t Peek(int n) {
        while (count_ < n) {
            const std::uint64_t byte = next_ < size_ ? data_[next_] : 0;
            ++next_;
            buffer_ |= byte << count_;
            count_ += 8;
        }
        return static_cast<std::uint32_t>(buffer_ & ((std::uint64_t {1} << n) - 1));
    }
    void Drop(int n) {
        buffer_ >>= n;
        count_ -= n;
        used_ += static_cast<std::uint64_t>(n);
    }
    std::uint32_t Get(int n) {
        if (n == 0) return 0;
        const std::uint32_t v = Peek(n);
        Drop(n);
        return v;
    }
    void AlignToByte() { Drop(static_cast<int>((8 - used_ % 8) % 8)); }
    // Skips n whole bytes (the reader is at a byte boundary).
    void SkipBytes(std::uint64_t n) {
        used_ += n * 8;
        next_ = static_cast<std::size_t>(std::min<std::uint64_t>(used_ / 8, size_ + 1));
        buffer_ = 0;
        count_ = 0;
    }
    std::uint64_t Position() const { return used_; }
    bool Overrun() const { return used_ > static_cast<std::uint64_t>(size_) * 8; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t next_ = 0;      // the next byte to load
    std::uint64_t buffer_ = 0;  // loaded bits not yet used
    int count_ = 0;             // how many
    std::uint64_t used_ = 0;    // bits used from the start
};

// A canonical Huffman code: short codes through a table, longer ones by
// their counts per length (RFC 1951, 3.2.2).
class Decoder {
public:
    // Returns: false when the lengths do not make a usable code.
    bool Build(const std::uint8_t* lengths, int n) {
        std::array<int, kMaxBits + 1> count {};
        for (int i = 0; i < n; ++i) ++count[lengths[i]];
        count[0] = 0;
        int left = 1;
        for (int len = 1; len <= kMaxBits; ++len) {
            left = (left << 1) - count[len];
            if (left < 0) return false;  // more codes than the lengths allow
        }
        counts_ = count;
        std::array<int, kMaxBits + 2> offset {};
        for (int len = 1; len <= kMaxBits; ++len) offset[len + 1] = offset[len] + count[len];
        symbols_.assign(static_cast<std::size_t>(offset[kMaxBits + 1]), 0);
        for (int i = 0; i < n; ++i)
            if (lengths[i] != 0) symbols_[static_cast<std::size_t>(offset[lengths[i]]++)] = static_cast<std::uint16_t>(i);
        // The table: for every kTableBits-bit pattern (read first bit first,
        // codes being packed from their most significant bit), the symbol
        // and length of the code it starts with, when that code is short.
        table_.fill(0);
        int code = 0;
        int index = 0;
        for (int len = 1; len <= kTableBits; ++len) {
            for (int k = 0; k < count[len]; ++k, ++code, ++index) {
                int reversed = 0;
                for (int b = 0; b < len; ++b) reversed |= ((code >> b) & 1) << (len - 1 - b);
                for (int fill = reversed; fill < (1 << kTableBits); fill += 1 << len)
                    table_[static_cast<std::size_t>(fill)] =
                        static_cast<std::uint32_t>((symbols_[static_cast<std::size_t>(index)] << 4) | len);
            }
            code <<= 1;
        }
        return true;
    }

    // Returns: the next symbol, or -1 for a pattern that is no code.
    int Decode(BitReader& in) const {
        const std::uint32_t entry = table_[in.Peek(kTableBits)];
        if (entry != 0) {
            in.Drop(static_cast<int>(entry & 15));
            return static_cast<int>(entry >> 4);
        }
        // Longer codes: one bit at a time from the first (RFC 1951's canonical order).
        int code = 0;
        int first = 0;
        int index = 0;
        for (int len = 1; len <= kMaxBits; ++len) {
            code |= static_cast<int>(in.Get(1));
            const int count = counts_[static_cast<std::size_t>(len)];
            if (code - count < first) return symbols_[static_cast<std::size_t>(index + (code - first))];
            index += count;
            first += count;
            first <<= 1;
            code <<= 1;
        }
        return -1;
    }

private:
    std::array<int, kMaxBits + 1> counts_ {};
    std::vector<std::uint16_t> symbols_;
    std::array<std::uint32_t, 1 << kTableBits> table_ {};
};

constexpr std::uint16_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                            2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint16_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                              6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// Walks the codes of one Huffman block up to its end-of-block code.
bool WalkCodes(BitReader& in, const Decoder& literals, const Decoder& distances) {
    for (;;) {
        const int symbol = literals.Decode(in);
        if (symbol < 0 || in.Overrun()) return false;
        if (symbol < 256) continue;
        if (symbol == 256) return true;
        if (symbol > 285) return false;
        in.Get(kLengthExtra[symbol - 257]);
        const int distance = distances.Decode(in);
        if (distance < 0 || distance > 29) return false;
        in.Get(kDistanceExtra[distance]);
    }
}

bool FixedCodes(Decoder& literals, Decoder& distances) {
    std::uint8_t lengths[288];
    std::fill(lengths, lengths + 144, 8);
    std::fill(lengths + 144, lengths + 256, 9);
    std::fill(lengths + 256, lengths + 280, 7);
    std::fill(lengths + 280, lengths + 288, 8);
    std::uint8_t distanceLengths[30];
    std::fill(distanceLengths, distanceLengths + 30, 5);
    return literals.Build(lengths, 288) && distances.Build(distanceLengths, 30);
}

bool DynamicCodes(BitReader& in, Decoder& literals, Decoder& distances) {
    const int nLiterals = static_cast<int>(in.Get(5)) + 257;   // HLIT
    const int nDistances = static_cast<int>(in.Get(5)) + 1;    // HDIST
    const int nLengthCodes = static_cast<int>(in.Get(4)) + 4;  // HCLEN
    if (nLiterals > 286 || nDistances > 30) return false;
    static constexpr int kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    std::uint8_t codeLengths[19] = {};
    for (int i = 0; i < nLengthCodes; ++i) codeLengths[kOrder[i]] = static_cast<std::uint8_t>(in.Get(3));
    Decoder lengthCode;
    if (!lengthCode.Build(codeLengths, 19)) return false;
    std::uint8_t lengths[286 + 30] = {};
    const int total = nLiterals + nDistances;
    for (int i = 0; i < total;) {
        const int symbol = lengthCode.Decode(in);
        if (symbol < 0 || in.Overrun()) return false;
        if (symbol < 16) {
            lengths[i++] = static_cast<std::uint8_t>(symbol);
            continue;
        }
        int repeat = 0;
        std::uint8_t value = 0;
        if (symbol == 16) {
            if (i == 0) return false;  // nothing to repeat
            value = lengths[i - 1];
            repeat = 3 + static_cast<int>(in.Get(2));
        } else if (symbol == 17) {
            repeat = 3 + static_cast<int>(in.Get(3));
        } else {
            repeat = 11 + static_cast<int>(in.Get(7));
        }
        if (i + repeat > total) return false;
        std::fill(lengths + i, lengths + i + repeat, value);
        i += repeat;
    }
    if (lengths[256] == 0) return false;  // no end-of-block code
    return literals.Build(lengths, nLiterals) && distances.Build(lengths + nLiterals, nDistances);
}

}  // namespace

bool WalkDeflateStream(const std::uint8_t* data, std::size_t size, StreamEnd& end) {
    BitReader in(data, size);
    Decoder literals;
    Decoder distances;
    for (;;) {
        const std::uint64_t header = in.Position();
        const bool final = in.Get(1) != 0;  // BFINAL
        const std::uint32_t type = in.Get(2);  // BTYPE
        if (type == 0) {
            in.AlignToByte();
            const std::uint32_t len = in.Get(16);   // LEN
            const std::uint32_t nlen = in.Get(16);  // NLEN
            if ((len ^ 0xFFFF) != nlen) return false;
            in.SkipBytes(len);
        } else if (type == 1) {
            if (!FixedCodes(literals, distances) || !WalkCodes(in, literals, distances)) return false;
        } else if (type == 2) {
            if (!DynamicCodes(in, literals, distances) || !WalkCodes(in, literals, distances)) return false;
        } else {
            return false;  // BTYPE 11 is reserved
        }
        if (in.Overrun()) return false;
        if (final) {
            end.finalHeaderBit = header;
            end.endBit = in.Position();
            return true;
        }
    }
}

std::size_t SyncFlushedSize(const StreamEnd& end) { return static_cast<std::size_t>((end.endBit + 3 + 7) / 8) + 4; }

std::size_t EndWithSyncFlush(std::uint8_t* out, const StreamEnd& end) {
    out[end.finalHeaderBit / 8] &= static_cast<std::uint8_t>(~(1u << (end.finalHeaderBit % 8)));  // BFINAL 0
    // The empty stored block's header (BFINAL 0, BTYPE 00) and the padding:
    // zeros from the stream's end to the byte boundary after them.
    const std::size_t headerEnd = static_cast<std::size_t>((end.endBit + 3 + 7) / 8);
    const std::size_t first = static_cast<std::size_t>(end.endBit / 8);
    out[first] &= static_cast<std::uint8_t>((1u << (end.endBit % 8)) - 1);
    for (std::size_t i = first + 1; i < headerEnd; ++i) out[i] = 0;
    out[headerEnd] = 0x00;  // LEN 0
    out[headerEnd + 1] = 0x00;
    out[headerEnd + 2] = 0xFF;  // NLEN
    out[headerEnd + 3] = 0xFF;
    return headerEnd + 4;
}

}  // namespace kuv::zip
