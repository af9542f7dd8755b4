// The installer's entry point.
#include "app/CAppModule.h"
#include "app/Run.h"
// The common controls' header needs <windows.h> (from the module's header) before it.
// clang-format off
#include <commctrl.h>
#include <objbase.h>
// clang-format on

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int showCommand) {
    CoInitialize(nullptr);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    g_appModule.Init(nullptr, instance);
    int result = Run(commandLine, showCommand);
    g_appModule.Term();
    CoUninitialize();
    return result;
}
