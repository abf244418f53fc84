// Test helper: bytes deflated whole, as one zlib stream, for the flate
// readers' tests.
#pragma once

#include <string>

#include <zlib.h>

namespace qmtest {

inline std::string Deflate(const std::string& in) {
    uLongf n = compressBound(static_cast<uLong>(in.size()));
    std::string out(n, '\0');
    compress(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(in.data()),
             static_cast<uLong>(in.size()));
    out.resize(n);
    return out;
}

}  // namespace qmtest
