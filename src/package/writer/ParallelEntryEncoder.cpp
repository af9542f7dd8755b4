#include "package/writer/ParallelEntryEncoder.h"

#include <algorithm>

#include "file/CFile.h"
#include "file/CFileException.h"
#include "file/CatchFileError.h"
#include "package/PackageFormat.h"

PackageResult ParallelEntryEncoder::Encode(CFile& source, uint32_t size, CFile& output,
                                           uint32_t* compressedSize, EntryProgress* progress,
                                           FileFailure* failure) {
    uint32_t offset = 0;
    CFileException error;
    if (CatchFileError([&] { offset = output.GetPosition(); }, &error) != CFileException::none) {
        *failure = FileFailure(FileFailure::kWrite, WideString(), error);
        return SFX_ERR_WRITE;
    }
    const uint64_t room = kMaxPackageLength - std::min(offset, kMaxPackageLength);
    const ParallelDeflater::Result result = m_deflater.Deflate(source, size, output, room, progress);
    switch (result.outcome) {
        case ParallelDeflater::kDeflated:
            *compressedSize = static_cast<uint32_t>(result.written);
            return SFX_OK;
        case ParallelDeflater::kLengthChanged:
            return SFX_ERR_OPEN_SOURCE;
        case ParallelDeflater::kReadFailed:
        case ParallelDeflater::kWriteFailed:
            failure->side =
                result.outcome == ParallelDeflater::kReadFailed ? FileFailure::kRead : FileFailure::kWrite;
            failure->cause = result.cause;
            failure->osError = result.osError;
            return SFX_ERR_WRITE;
        default:
            return SFX_ERR_WRITE;
    }
}
