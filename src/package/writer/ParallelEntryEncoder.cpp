#include "package/writer/ParallelEntryEncoder.h"

#include <algorithm>

#include "file/CFile.h"
#include "file/CFileException.h"
#include "package/PackageFormat.h"

PackageResult ParallelEntryEncoder::Encode(CFile& source, uint32_t size, CFile& output,
                                           uint32_t* compressedSize, EntryProgress* progress,
                                           FileFailure* failure) {
    uint32_t offset = 0;
    if (!failure->Catch(FileFailure::kWrite, output.m_fileName, [&] { offset = output.GetPosition(); }))
        return SFX_ERR_WRITE;
    const uint64_t room = kMaxPackageLength - std::min(offset, kMaxPackageLength);
    const ParallelDeflater::Result result = m_deflater.Deflate(source, size, output, room, progress);
    switch (result.outcome) {
        case ParallelDeflater::kDeflated:
            *compressedSize = static_cast<uint32_t>(result.written);
            return SFX_OK;
        case ParallelDeflater::kLengthChanged:
            return SFX_ERR_OPEN_SOURCE;
        case ParallelDeflater::kFileFailed:
            *failure = result.failure;
            return SFX_ERR_WRITE;
        case ParallelDeflater::kTooLong:
            *failure = FileFailure::Reached(FileFailure::kTooLong, output.m_fileName);
            return SFX_ERR_WRITE;
        default:
            *failure = FileFailure::Reached(FileFailure::kNoMemory);
            return SFX_ERR_WRITE;
    }
}
