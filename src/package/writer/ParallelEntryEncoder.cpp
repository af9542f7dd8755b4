#include "package/writer/ParallelEntryEncoder.h"

#include <algorithm>

#include "file/CFile.h"
#include "file/CFileException.h"
#include "package/PackageFormat.h"

namespace {

struct Report {
    PackageProgressCallback callback;
    uintptr_t userData;
    uint32_t size;
};

void ReportPercent(uint64_t consumed, uintptr_t report) {
    const Report& r = *reinterpret_cast<const Report*>(report);
    int32_t percent =
        r.size == 0 ? 100 : static_cast<int32_t>(std::min<uint64_t>(consumed * 100 / r.size, 100));
    r.callback(SFX_EVENT_PROGRESS, &percent, r.userData);
}

}  // namespace

PackageResult ParallelEntryEncoder::Encode(CFile& source, uint32_t size, CFile& output,
                                           uint32_t* compressedSize, PackageProgressCallback callback,
                                           uintptr_t userData) {
    const uint32_t offset = output.GetPosition();
    const uint64_t room = kMaxPackageLength - std::min(offset, kMaxPackageLength);
    Report report{callback, userData, size};
    m_deflater.SetProgress(callback != nullptr ? &ReportPercent : nullptr,
                           reinterpret_cast<uintptr_t>(&report));
    const ParallelDeflater::Result result = m_deflater.Deflate(source, size, output, room);
    m_deflater.SetProgress(nullptr, 0);
    switch (result.outcome) {
        case ParallelDeflater::kDeflated:
            *compressedSize = static_cast<uint32_t>(result.written);
            return SFX_OK;
        case ParallelDeflater::kLengthChanged:
            return SFX_ERR_OPEN_SOURCE;
        case ParallelDeflater::kReadFailed:
        case ParallelDeflater::kWriteFailed:
            ThrowFileException(result.cause, -1, nullptr);
        default:
            return SFX_ERR_WRITE;
    }
}
