// The packer's extraction and verification: the installer's inflate loop, with the
// system seeing one read or write per large block instead of one per 4096 bytes.
#include <memory>
#include <new>

#include "file/CFile.h"
#include "file/CFileException.h"
#include "package/SelfExtractor.h"
#include "package/writer/BufferedSink.h"
#include "package/writer/BufferedSource.h"

PackageResult SelfExtractor::InflateEntryInBlocks(int32_t index, CFile* target) {
    CFile package;
    PackageResult result = OpenPackageFor(index, package);
    if (result != SFX_OK) return result;
    const PackageEntry& e = m_entries[index];
    result = SFX_ERR_WRITE;
    try {
        BufferedSource source(package);
        if (target == nullptr) {
            result = InflateEntry(source, e, nullptr);
        } else {
            BufferedSink sink(*target);
            result = InflateEntry(source, e, &sink);
            // What the sink still holds reaches the file before the caller closes it.
            if (result == SFX_OK) sink.WriteHeld();
        }
    } catch (CFileException* error) {
        std::unique_ptr<CFileException> owner(error);
        result = SFX_ERR_WRITE;
    } catch (const std::bad_alloc&) {
        result = SFX_ERR_WRITE;
    }
    package.Abort();
    return result;
}
