#pragma once
// Inputs of the sliced compression tests, made by code: text-like data,
// incompressible data and highly repetitive data, and an independent
// reading of raw deflate through zlib's inflate.

#include <zlib.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace slicetest {

using Bytes = std::vector<std::uint8_t>;

// Words and numbers on CR LF lines, like the data files of a backup.
inline Bytes TextBytes(std::size_t size, unsigned seed) {
    static const char* const words[] = {"facture", "client", "montant", "total", "remise", "DUPONT", "PARIS",
                                        "livraison", "commande", "article", "quantité", "échéance"};
    std::mt19937 rng(seed);
    Bytes out;
    out.reserve(size + 32);
    while (out.size() < size) {
        std::string line = words[rng() % 12];
        line += ' ';
        line += std::to_string(rng() % 100000);
        line += rng() % 7 == 0 ? "\r\n" : " ";
        out.insert(out.end(), line.begin(), line.end());
    }
    out.resize(size);
    return out;
}

inline Bytes RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes out(size);
    for (auto& b : out) b = static_cast<std::uint8_t>(rng());
    return out;
}

// One random block repeated: every slice after the first matches the one
// before, and a match always reaches back across the cut.
inline Bytes RepeatedBlock(std::size_t size, std::size_t block, unsigned seed) {
    const Bytes unit = RandomBytes(block, seed);
    Bytes out(size);
    for (std::size_t i = 0; i < size; ++i) out[i] = unit[i % block];
    return out;
}

// Inflates raw deflate with zlib. Returns: false when the stream is damaged,
// does not end, or has bytes after its end.
inline bool Inflate(const Bytes& in, Bytes& out) {
    out.clear();
    z_stream zs {};
    if (inflateInit2(&zs, -15) != Z_OK) return false;
    zs.next_in = const_cast<Bytef*>(in.data());
    zs.avail_in = static_cast<uInt>(in.size());
    std::uint8_t chunk[65536];
    int rc = Z_OK;
    while (rc == Z_OK) {
        zs.next_out = chunk;
        zs.avail_out = sizeof chunk;
        rc = inflate(&zs, Z_NO_FLUSH);
        out.insert(out.end(), chunk, chunk + (sizeof chunk - zs.avail_out));
    }
    const bool ended = rc == Z_STREAM_END && zs.avail_in == 0;
    inflateEnd(&zs);
    return ended;
}

inline std::uint32_t Crc(const Bytes& b) {
    return static_cast<std::uint32_t>(crc32(0, b.data(), static_cast<uInt>(b.size())));
}

}  // namespace slicetest
