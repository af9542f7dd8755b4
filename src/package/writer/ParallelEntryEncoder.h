// The packer's way to make each entry's stream on the write path: a ParallelDeflater
// behind the writer's EntryEncoder, reporting bytes as it writes them, with the
// package's 2 GiB limit as the stream's room.
#pragma once

#include <cstdint>

#include "package/writer/EntryEncoder.h"
#include "package/writer/ParallelDeflater.h"
#include "package/writer/ZopfliChunkDeflater.h"

class ParallelEntryEncoder : public EntryEncoder {
public:
    // threads, level and iterations as ParallelDeflater takes them.
    ParallelEntryEncoder(int32_t threads, int32_t level,
                         int32_t iterations = ZopfliChunkDeflater::kDefaultIterations)
        : m_deflater(threads, level, iterations) {}

    // As EntryEncoder::Encode: SFX_OK, SFX_ERR_OPEN_SOURCE (the source held other than
    // size bytes), SFX_ERR_WRITE (2 GiB reached, no memory, or a read or write failed,
    // told in *failure, as is a limit); every worker has ended when it returns.
    PackageResult Encode(CFile& source, uint32_t size, CFile& output, uint32_t* compressedSize,
                         EntryProgress* progress, FileFailure* failure) override;

private:
    ParallelDeflater m_deflater;
};
