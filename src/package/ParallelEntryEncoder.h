// The packer's encoder: each entry's stream made by ParallelDeflater on several
// threads, the same bytes whatever their number.
#pragma once

#include <cstdint>

#include "package/EntryEncoder.h"
#include "package/ParallelDeflater.h"

class ParallelEntryEncoder : public EntryEncoder {
public:
    ParallelEntryEncoder(int32_t threads, int32_t level) : m_deflater(threads, level) {}

    PackageResult Encode(CFile& source, uint32_t size, CFile& output, uint32_t* compressedSize,
                         PackageProgressCallback callback, uintptr_t userData) override;

private:
    ParallelDeflater m_deflater;
};
