#include "install/InstallWorker.h"

#include <memory>

#include "file/CFile.h"
#include "install/InstallStatus.h"
#include "install/LaunchInstaller.h"
#include "package/SelfExtractor.h"

namespace {

// The system is offered 258 units; the backslash appended afterwards always fits.
const DWORD kTempOffered = 258;

}  // namespace

HANDLE StartInstallWorker(const WorkerState& state) {
    auto copy = std::make_unique<WorkerState>(state);
    HANDLE thread = CreateThread(nullptr, 0, InstallThreadProc, copy.get(), 0, nullptr);
    if (thread) copy.release();  // the thread owns it now
    return thread;
}

DWORD WINAPI InstallThreadProc(void* param) {
    std::unique_ptr<WorkerState> state(static_cast<WorkerState*>(param));
    if (state) RunInstallation(*state);
    return 1;
}

void RunInstallation(const WorkerState& state) {
    wchar_t buffer[MAX_PATH] = {};
    DWORD length = GetTempPathW(kTempOffered, buffer);
    // 0 means no folder; kTempOffered or more means it did not fit and the buffer holds
    // nothing usable. Such a run must not extract anywhere (it would land in the root
    // of the current drive), so it ends as a failed extraction.
    bool tempUsable = length > 0 && length < kTempOffered;
    WideString tempFolder(tempUsable ? buffer : L"");
    tempFolder += u'\\';  // always: the usual answer ends in one already, so two

    SelfExtractor extractor;
    if (extractor.ReadTableOfContents(extractor.GetPackagePath()) != SFX_OK) {
        PostInstallStatus(state.window, STATUS_READ_TOC_FAILED);
        return;
    }
    if (extractor.m_entryCount != 1) {
        PostInstallStatus(state.window, STATUS_BAD_ENTRY_COUNT);
        return;
    }
    WideString databasePath = tempFolder + extractor.GetEntry(0).GetName();
    // Held from its extraction until the installer has ended: the installer may read
    // it, but no other run can write into it meanwhile (two installers share the one
    // path in the temporary folder).
    CFile database;
    if (!tempUsable || extractor.ExtractEntry(0, tempFolder, false, &database) != SFX_OK) {
        PostInstallStatus(state.window, STATUS_EXTRACT_FAILED);
        return;
    }
    if (!state.updateMode) PostInstallStatus(state.window, STATUS_INSTALLING);
    if (LaunchInstaller(state, databasePath)) {
        database.Abort();  // closed before the deletion, which it would refuse
        DeleteFileW(databasePath.w_str());
        PostInstallStatus(state.window, STATUS_DONE);
    }
}
