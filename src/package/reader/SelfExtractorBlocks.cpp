// The packer's extraction and verification: the installer's inflate loop, with the
// system seeing one read or write per large block instead of one per 4096 bytes.
#include <new>

#include "file/CFile.h"
#include "file/CFileException.h"
#include "package/EntryProgress.h"
#include "package/SelfExtractor.h"
#include "package/reader/BufferedSink.h"
#include "package/reader/BufferedSource.h"

PackageResult SelfExtractor::InflateEntryInBlocks(int32_t index, CFile* target, EntryProgress* progress) {
    CFile package;
    PackageResult result = OpenPackageFor(index, package);
    if (result != SFX_OK) return result;
    const PackageEntry& e = m_entries[index];
    if (progress != nullptr) progress->Begin(e, e.compressedSize);
    try {
        BufferedSource source(package);
        if (target == nullptr) {
            result = InflateEntry(source, e, nullptr, progress);
        } else {
            BufferedSink sink(*target);
            result = InflateEntry(source, e, &sink, progress);
            // What the sink still holds reaches the file before the caller closes it.
            if (result == SFX_OK &&
                !m_failure.Catch(FileFailure::kWrite, target->m_fileName, [&] { sink.WriteHeld(); }))
                result = SFX_ERR_WRITE;
        }
    } catch (const std::bad_alloc&) {
        result = Reached(FileFailure::kNoMemory);
    }
    package.Abort();
    if (result == SFX_OK && progress != nullptr) progress->End(e);
    return result;
}
