// How an entry's bytes become its zlib stream in the package: the one step of the
// write path that another encoder may take over. The writer opens each source (or
// takes it open), records where its stream begins, frames it with the entry's Begin
// and End and writes the table; the encoder only turns bytes into a stream.
#pragma once

#include <cstdint>

#include "package/FileFailure.h"
#include "package/PackageResult.h"

class CFile;
class EntryProgress;

class EntryEncoder {
public:
    virtual ~EntryEncoder() = default;
    // Reads size bytes of source from its position and writes one zlib stream of them
    // to output from its position on, reporting the bytes consumed to progress (may be
    // null); on SFX_OK, *compressedSize is the stream's length. SFX_ERR_OPEN_SOURCE
    // when source holds other than size bytes; SFX_ERR_WRITE when no stream can be
    // made, the package would reach 2 GiB, or a read or write failed: then *failure
    // says which side, with the file layer's cause and the system's error (the writer
    // names the file), or which limit. Never throws the file layer's exception.
    virtual PackageResult Encode(CFile& source, uint32_t size, CFile& output, uint32_t* compressedSize,
                                 EntryProgress* progress, FileFailure* failure) = 0;
};
