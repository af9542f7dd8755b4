// How an entry's bytes become its zlib stream in the package: the one step of the
// write path that another encoder may take over. The writer opens each source, checks
// its length, records where its stream begins, frames it with SFX_EVENT_BEGIN and
// SFX_EVENT_END and writes the table; the encoder only turns bytes into a stream.
#pragma once

#include <cstdint>

#include "package/PackageEvent.h"
#include "package/PackageResult.h"

class CFile;

class EntryEncoder {
public:
    virtual ~EntryEncoder() = default;
    // Reads size bytes of source from its position and writes one zlib stream of them
    // to output from its position on, reporting SFX_EVENT_PROGRESS through callback;
    // on SFX_OK, *compressedSize is the stream's length. SFX_ERR_OPEN_SOURCE when
    // source holds other than size bytes; SFX_ERR_WRITE when no stream can be made or
    // the package would reach 2 GiB. A failed read or write throws from the file layer
    // and reaches the writer, which answers SFX_ERR_WRITE.
    virtual PackageResult Encode(CFile& source, uint32_t size, CFile& output, uint32_t* compressedSize,
                                 PackageProgressCallback callback, uintptr_t userData) = 0;
};
