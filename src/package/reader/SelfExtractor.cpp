// What reading and writing share: construction, the table, the stream's buffers
// and the progress figure.
#include "package/SelfExtractor.h"

#include "file/CFile.h"
#include "file/CFileException.h"
#include "file/RunningModulePath.h"
#include "package/reader/TableOfContents.h"

SelfExtractor::SelfExtractor() : SelfExtractor(RunningModulePath()) {}

SelfExtractor::SelfExtractor(const WideString& packagePath) : z_stream_s(), m_packagePath(packagePath) {
    // zlib's default allocator.
    zalloc = Z_NULL;
    zfree = Z_NULL;
    opaque = Z_NULL;
}

SelfExtractor::~SelfExtractor() = default;

PackageResult SelfExtractor::ReadTableOfContents(const WideString& packagePath, TocLocation* location) {
    m_failure = FileFailure();
    for (PackageEntry& entry : m_entries) entry.Reset();
    m_entryCount = 0;
    CFile package;
    if (!OpenFile(package, packagePath, CFile::accessRead | CFile::shareAllowAll, FileFailure::kRead)) {
        return SFX_ERR_OPEN_PACKAGE;
    }
    PackageResult result = ReadTableOfContentsFrom(package, m_entries, &m_entryCount, location, &m_failure);
    package.Abort();  // read-only: nothing to lose on close
    if (m_failure.Failed()) m_failure.file = packagePath;
    if (result != SFX_OK) {
        // A partly read table must not be mistaken for a package.
        for (PackageEntry& entry : m_entries) entry.Reset();
        m_entryCount = 0;
    }
    return result;
}

PackageEntry SelfExtractor::GetEntry(int32_t index) const {
    if (index < 0 || index >= m_entryCount) return PackageEntry();
    return m_entries[index];
}

int32_t SelfExtractor::GetProgressPercent() const {
    return PercentOf(static_cast<uint32_t>(total_in), static_cast<uint32_t>(m_progressTotal));
}

int32_t SelfExtractor::PercentOf(uint32_t consumed, uint32_t total) {
    if (total == 0 || consumed >= total) return 100;
    // Split so that consumed * 100 stays within 32 bits.
    const uint32_t percent = total <= 10000000u ? consumed * 100u / total : consumed / (total / 100u);
    return static_cast<int32_t>(percent);
}

uint32_t SelfExtractor::FillInput(CFile& source) {
    if (avail_in == 0) {
        next_in = m_inBuffer;
        avail_in = source.Read(m_inBuffer, kBufferSize);
    }
    return avail_in;
}

uint32_t SelfExtractor::FlushOutput(CFile& target) {
    const uint32_t count = kBufferSize - avail_out;
    if (count > 0) {
        target.Write(m_outBuffer, count);
        next_out = m_outBuffer;
        avail_out = kBufferSize;
    }
    return count;
}

PackageResult SelfExtractor::Failed(PackageResult result, FileFailure::Side side, const WideString& file,
                                    const CFileException& error) {
    m_failure = FileFailure(side, file, error);
    return result;
}

PackageResult SelfExtractor::Reached(FileFailure::Limit limit, const WideString& file) {
    Reached(limit);
    m_failure.file = file;
    return SFX_ERR_WRITE;
}

bool SelfExtractor::OpenFile(CFile& file, const WideString& path, uint32_t flags, FileFailure::Side side) {
    CFileException error;
    if (file.Open(path.c_str(), flags, &error)) return true;
    Failed(SFX_OK, side, path, error);
    return false;
}

void SelfExtractor::ResetStreamBuffers() {
    next_in = Z_NULL;
    avail_in = 0;
    next_out = m_outBuffer;
    avail_out = kBufferSize;
}
