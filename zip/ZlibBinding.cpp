#include "zip/ZlibBinding.h"

namespace kuv::zip {

const ZlibApi* LinkedZlib() {
    static const ZlibApi api = {
        &::zlibVersion, &::crc32, &::deflateInit2_, &::deflate, &::deflateEnd,
        &::inflateInit2_, &::inflate, &::inflateEnd,
        &::deflateSetDictionary, &::deflateReset, &::crc32_combine,
    };
    return &api;
}

}  // namespace kuv::zip
