// Ends a zlib stream on every path out of the scope that began it. End is
// inflateEnd or deflateEnd; the installer instantiates only the first.
#pragma once

#include <zlib.h>

template <int (*End)(z_streamp)>
class ZStreamScope {
public:
    explicit ZStreamScope(z_stream* stream) : m_stream(stream) {}
    ZStreamScope(const ZStreamScope&) = delete;
    ZStreamScope& operator=(const ZStreamScope&) = delete;
    ~ZStreamScope() { End(m_stream); }

private:
    z_stream* m_stream;
};
