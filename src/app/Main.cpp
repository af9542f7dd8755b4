// The installer's entry point.
#include "app/CAppModule.h"
#include "app/Run.h"
#include "base/ScopedWin.h"
// The common controls' header needs <windows.h> (from the module's header) before it.
// clang-format off
#include <commctrl.h>
// clang-format on

namespace {

// An installer is run from a Downloads folder, where anyone may have left a DLL with a
// system name; the default search would take it from there (or from the current
// folder) the first time a library is loaded by name. Only the system folder is
// searched from here on. SetDefaultDllDirectories is missing on systems without
// KB2533623, so it is looked up; SetDllDirectoryW(L"") still takes the current folder
// out of the search there.
void RestrictLibrarySearch() {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    FARPROC proc = kernel != nullptr ? GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr;
    if (proc != nullptr) {
        using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
        auto setDefault =
            reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void (*)()>(proc));
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    SetDllDirectoryW(L"");
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int showCommand) {
    RestrictLibrarySearch();  // before anything below can load a library
    ScopedCom com;            // uninitialised on return, after the module's termination
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    g_appModule.Init(nullptr, instance);
    int result = Run(commandLine, showCommand);
    g_appModule.Term();
    return result;
}
