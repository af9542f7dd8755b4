#include "package/ParallelEntryEncoder.h"

#include "file/CFile.h"
#include "package/PackageFormat.h"

namespace {

struct ProgressTarget {
    PackageProgressCallback callback;
    uintptr_t userData;
    uint64_t size;
};

void ReportPercent(uint64_t consumed, uintptr_t userData) {
    const ProgressTarget* target = reinterpret_cast<const ProgressTarget*>(userData);
    int32_t percent = target->size == 0 ? 100 : static_cast<int32_t>(consumed * 100 / target->size);
    target->callback(SFX_EVENT_PROGRESS, &percent, target->userData);
}

}  // namespace

PackageResult ParallelEntryEncoder::Encode(CFile& source, uint32_t size, CFile& output,
                                           uint32_t* compressedSize, PackageProgressCallback callback,
                                           uintptr_t userData) {
    ProgressTarget target{callback, userData, size};
    m_deflater.SetProgress(callback != nullptr ? &ReportPercent : nullptr, reinterpret_cast<uintptr_t>(&target));
    // As with the specified encoder, the package may end at kMaxPackageLength, no further.
    const uint64_t start = output.GetPosition();
    const uint64_t room = start < kMaxPackageLength ? kMaxPackageLength - start : 0;
    const ParallelDeflater::Result result = m_deflater.Deflate(source, size, output, room);
    m_deflater.SetProgress(nullptr, 0);
    switch (result.outcome) {
        case ParallelDeflater::kDeflated:
            *compressedSize = static_cast<uint32_t>(result.written);
            return SFX_OK;
        case ParallelDeflater::kLengthChanged:
            return SFX_ERR_OPEN_SOURCE;
        default:
            // A failed read or write, too long a stream, no memory: as the writer
            // answers for the file layer's failures.
            return SFX_ERR_WRITE;
    }
}
