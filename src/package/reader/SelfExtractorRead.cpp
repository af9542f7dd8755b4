// Extraction: inflate only, so the installer links no deflate code.

#include "base/Path.h"
#include "file/CFile.h"
#include "file/CFileException.h"
#include "file/RemoveQuietly.h"
#include "package/EntryProgress.h"
#include "package/SelfExtractor.h"
#include "package/reader/EntryName.h"
#include "package/reader/ZStreamScope.h"

PackageResult SelfExtractor::ExtractEntry(int32_t index, WideString destFolder, bool readTableFirst,
                                          CFile* held) {
    AppendSeparator(destFolder);
    if (readTableFirst) {
        const PackageResult result = ReadTableOfContents(GetPackagePath());
        if (result != SFX_OK) return result;
    }
    m_failure = FileFailure();
    if (index < 0 || index >= m_entryCount) return SFX_ERR_NO_ENTRIES;
    CFile package;
    if (!OpenFile(package, m_packagePath, CFile::accessRead | CFile::shareAllowAll, FileFailure::kRead)) {
        return SFX_ERR_OPEN_SOURCE;
    }
    const PackageResult result = ExtractEntryToFile(package, index, destFolder, held);
    package.Abort();
    return result;
}

PackageResult SelfExtractor::ExtractEntryInto(int32_t index, CFile& target) {
    return InflateEntryAt(index, &target);
}

PackageResult SelfExtractor::ExtractAll(WideString destFolder, PackageProgressCallback callback,
                                        uintptr_t userData) {
    AppendSeparator(destFolder);
    PackageResult result = ReadTableOfContents(GetPackagePath());
    if (result != SFX_OK) return result;
    m_callback = callback;
    m_callbackData = userData;
    CFile package;
    if (!OpenFile(package, m_packagePath, CFile::accessRead | CFile::shareAllowAll, FileFailure::kRead)) {
        return SFX_ERR_OPEN_SOURCE;
    }
    int32_t failures = 0;
    for (int32_t index = m_entryCount - 1; index >= 0; --index) {
        WideString* name = &m_entries[index].name;
        if (callback != nullptr) callback(SFX_EVENT_BEGIN, name, userData);
        result = ExtractEntryToFile(package, index, destFolder);
        if (result != SFX_OK) {
            ++failures;
            continue;
        }
        if (callback != nullptr) callback(SFX_EVENT_END, name, userData);
    }
    package.Abort();
    return failures > 0 ? SFX_ERR_WRITE : SFX_OK;
}

PackageResult SelfExtractor::VerifyEntry(int32_t index) {
    return InflateEntryAt(index, nullptr);
}

PackageResult SelfExtractor::OpenPackageFor(int32_t index, CFile& package) {
    m_failure = FileFailure();
    if (index < 0 || index >= m_entryCount) return SFX_ERR_NO_ENTRIES;
    if (!IsValidEntryName(m_entries[index].name)) return SFX_ERR_DAMAGED;
    if (!OpenFile(package, m_packagePath, CFile::accessRead | CFile::shareAllowAll, FileFailure::kRead)) {
        return SFX_ERR_OPEN_SOURCE;
    }
    return SFX_OK;
}

PackageResult SelfExtractor::InflateEntryAt(int32_t index, CFile* target) {
    CFile package;
    const PackageResult opened = OpenPackageFor(index, package);
    if (opened != SFX_OK) return opened;
    const PackageResult result = InflateEntry(package, m_entries[index], target);
    package.Abort();
    return result;
}

PackageResult SelfExtractor::ExtractEntryToFile(CFile& package, int32_t index, const WideString& destFolder,
                                                CFile* held) {
    if (index < 0 || index >= m_entryCount) return SFX_ERR_NO_ENTRIES;
    const PackageEntry& e = m_entries[index];
    // Checked before anything is created: a name with a separator or "..", or one
    // Windows would alter, could place the file outside destFolder.
    if (!IsValidEntryName(e.name) || e.offset > kMaxPackageLength) return SFX_ERR_DAMAGED;
    const WideString targetPath = destFolder + e.name;
    CFile target;
    // Writers are refused: a second installer extracting to the same path fails here
    // instead of writing into this file.
    if (!OpenFile(target, targetPath, CFile::create | CFile::shareAllowRead | CFile::accessWrite,
                  FileFailure::kWrite)) {
        return SFX_ERR_WRITE;
    }
    PackageResult result = InflateEntry(package, e, &target);
    if (result == SFX_OK && !m_failure.Catch(FileFailure::kWrite, targetPath, [&] { target.Close(); }))
        result = SFX_ERR_WRITE;
    if (result != SFX_OK) {
        // A damaged or partial file must never reach the installer.
        target.Abort();
        RemoveQuietly(targetPath);
        return result;
    }
    // Readers (the installer) may open it, writers may not. This open fails only when
    // another writer got in after the close above: the file is then that writer's, and
    // it is left to it.
    if (held != nullptr &&
        !OpenFile(*held, targetPath, CFile::accessRead | CFile::shareAllowRead, FileFailure::kWrite)) {
        return SFX_ERR_WRITE;
    }
    return SFX_OK;
}

PackageResult SelfExtractor::InflateEntry(CFile& package, const PackageEntry& e, CFile* target,
                                          EntryProgress* progress) {
    if (e.offset > kMaxPackageLength) return SFX_ERR_DAMAGED;
    ResetStreamBuffers();
    m_progressTotal = static_cast<int32_t>(e.compressedSize);
    if (inflateInit(this) != Z_OK) return Reached(FileFailure::kNoMemory);
    ZStreamScope<inflateEnd> scope(this);
    uint64_t written = 0;
    // Takes what the last inflate call produced: SFX_ERR_DAMAGED once the entry would
    // grow past its recorded size, before any of the excess is written.
    auto takeOutput = [&]() -> PackageResult {
        const uint32_t produced = kBufferSize - avail_out;
        if (written + produced > e.size) return SFX_ERR_DAMAGED;
        written += produced;
        if (target == nullptr) {
            next_out = m_outBuffer;
            avail_out = kBufferSize;
        } else if (!m_failure.Catch(FileFailure::kWrite, target->m_fileName, [&] { FlushOutput(*target); })) {
            return SFX_ERR_WRITE;
        }
        return SFX_OK;
    };
    // The stream's next bytes, the first from the entry's offset: one read-side call, so
    // that the installer carries one handler for both.
    bool positioned = false;
    uint32_t pending = 0;
    const auto readMore = [&] {
        if (!positioned) package.Seek(static_cast<int32_t>(e.offset), CFile::begin);
        positioned = true;
        pending = FillInput(package);
    };
    int r = Z_BUF_ERROR;
    for (;;) {
        if (!m_failure.Catch(FileFailure::kRead, m_packagePath, readMore)) return SFX_ERR_OPEN_SOURCE;
        if (pending == 0) break;
        r = inflate(this, Z_NO_FLUSH);
        const PackageResult taken = takeOutput();
        if (taken != SFX_OK) return taken;
        if (r != Z_OK) break;
        if (progress != nullptr) {
            progress->Advance(total_in);
        } else if (m_callback != nullptr) {
            int32_t percent = GetProgressPercent();
            m_callback(SFX_EVENT_PROGRESS, &percent, m_callbackData);
        }
    }
    if (r == Z_OK || r == Z_BUF_ERROR) {
        // The package ended first: drain what inflate still holds.
        // Each round fills the buffer or ends, so this stops within e.size.
        uint32_t produced = 0;
        do {
            r = inflate(this, Z_FINISH);
            produced = kBufferSize - avail_out;
            const PackageResult taken = takeOutput();
            if (taken != SFX_OK) return taken;
        } while ((r == Z_OK || r == Z_BUF_ERROR) && produced > 0);
    }
    // Anything but a complete stream of exactly the recorded size is damage:
    // a data error, a wrong Adler-32, a stream cut short by the end of the file.
    if (r != Z_STREAM_END || written != e.size) return SFX_ERR_DAMAGED;
    return SFX_OK;
}
