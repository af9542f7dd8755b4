#include "app/Run.h"

#include "app/CAppModule.h"
#include "app/CMainDlg.h"
#include "app/CMessageLoop.h"

namespace {

// Registers the loop for this thread for exactly as long as the loop exists.
class LoopRegistration {
public:
    explicit LoopRegistration(CMessageLoop& loop) { g_appModule.AddMessageLoop(&loop); }
    ~LoopRegistration() { g_appModule.RemoveMessageLoop(); }
    LoopRegistration(const LoopRegistration&) = delete;
    LoopRegistration& operator=(const LoopRegistration&) = delete;
};

}  // namespace

// The command line is not used here: the dialog reads the runtime's parsed arguments.
int Run(LPWSTR, int showCommand) {
    CMessageLoop loop;
    LoopRegistration registration(loop);
    CMainDlg dialog;
    if (!dialog.Create(g_appModule.GetResourceInstance(), nullptr)) return 0;
    dialog.ShowWindow(showCommand);
    int result = loop.Run();
    // A quit message from elsewhere leaves the window up; it goes before the dialog
    // object does, while the loop it unregisters from still exists.
    if (dialog.IsWindow()) dialog.DestroyWindow();
    return result;
}
