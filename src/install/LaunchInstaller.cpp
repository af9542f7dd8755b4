#include "install/LaunchInstaller.h"

#include "base/ScopedWin.h"
#include "install/InstallLocation.h"
#include "install/InstallStatus.h"

namespace {

// msiexec by its full path in the system folder: left to the search, process creation
// would look in this program's own folder and in the current folder first, where
// anyone may have left a program of that name next to a downloaded installer. Empty
// when the system folder cannot be had whole.
WideString SystemInstallerPath() {
    wchar_t folder[MAX_PATH] = {};
    UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return WideString();
    return WideString(folder, length) + u"\\msiexec.exe";
}

}  // namespace

bool LaunchInstaller(const WorkerState& state, WideString databasePath) {
    // The database path is quoted: a temporary folder with a space in it (a user name
    // with a space) would otherwise split it into several arguments.
    WideString commandLine;
    if (state.updateMode) {
        WideString installDir = GetInstallDir();
        commandLine.Format(u"msiexec /i \"%s\" /quiet INSTALLDIR=\"%s\"", databasePath.c_str(),
                           installDir.c_str());
        // The window stays up with its update text while the installer runs unseen.
    } else {
        // From here on the installer's own user interface is what the user sees. Not
        // ShowWindow: across threads it waits for the dialog's thread, which after a
        // cancel sits in its bounded wait for this worker, so both would stand still.
        ::ShowWindowAsync(state.window, SW_HIDE);
        commandLine.Format(u"msiexec /i \"%s\"", databasePath.c_str());
    }

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    const WideString application = SystemInstallerPath();
    // The user may have cancelled while the database was extracted: the dialog is
    // closing then, and nothing may be installed after it has gone.
    if (state.IsCancelled()) return false;
    BOOL created = FALSE;
    if (!application.IsEmpty()) {
        // Process creation may write into the command line, so it gets a private buffer.
        auto* writable = reinterpret_cast<wchar_t*>(commandLine.GetBuffer(commandLine.GetLength()));
        created = CreateProcessW(application.w_str(), writable, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &startup, &process);
        commandLine.ReleaseBuffer();
    }
    if (!created) {
        PostInstallStatus(state.window, STATUS_LAUNCH_FAILED);
        return false;
    }
    // Declared in this order so that the process handle is closed first.
    KernelHandle thread(process.hThread);
    KernelHandle installer(process.hProcess);

    if (WaitForSingleObject(installer.get(), INFINITE) != WAIT_OBJECT_0) {
        PostInstallStatus(state.window, STATUS_WAIT_FAILED);
        return false;
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(installer.get(), &exitCode);  // a failed read leaves 0
    if (exitCode != 0) {
        PostInstallStatus(state.window, STATUS_INSTALLER_FAILED);
        return false;
    }
    return true;
}
