// The packer's way to make each entry's stream on the write path: a ParallelDeflater
// behind the writer's EntryEncoder, with progress as the writer reports it
// (SFX_EVENT_PROGRESS percentages) and the package's 2 GiB limit as the stream's room.
#pragma once

#include <cstdint>

#include "package/EntryEncoder.h"
#include "package/ParallelDeflater.h"
#include "package/ZopfliChunkDeflater.h"

class ParallelEntryEncoder : public EntryEncoder {
public:
    // threads, level and iterations as ParallelDeflater takes them.
    ParallelEntryEncoder(int32_t threads, int32_t level,
                         int32_t iterations = ZopfliChunkDeflater::kDefaultIterations)
        : m_deflater(threads, level, iterations) {}

    // As EntryEncoder::Encode: SFX_OK, SFX_ERR_OPEN_SOURCE (the source held other than
    // size bytes), SFX_ERR_WRITE (2 GiB reached, no memory); a failed read
    // or write throws the file layer's exception with its cause, after every worker
    // has ended.
    PackageResult Encode(CFile& source, uint32_t size, CFile& output, uint32_t* compressedSize,
                         PackageProgressCallback callback, uintptr_t userData) override;

private:
    ParallelDeflater m_deflater;
};
