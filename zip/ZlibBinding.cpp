#include "zip/ZlibBinding.h"

namespace kuv::zip {

const ZlibApi* LinkedZlib() {
    static const ZlibApi api = {
        &::zlibVersion, &::crc32, &::deflateInit2_, &::deflate, &::deflateEnd,
        &::inflateInit2_, &::inflate, &::inflateEnd,
    };
    return &api;
}

}  // namespace kuv::zip
