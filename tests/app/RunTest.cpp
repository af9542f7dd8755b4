// Run in a program without the stub's resources: the dialog cannot be created.
#include <gtest/gtest.h>

#include "app/CAppModule.h"
#include "app/Run.h"

TEST(Run, WithoutTheDialogTemplateNothingIsShownAndTheResultIsZero) {
    g_appModule.Init(nullptr, GetModuleHandleW(nullptr));
    EXPECT_EQ(::Run(nullptr, SW_SHOWNORMAL), 0);
    EXPECT_EQ(g_appModule.GetMessageLoop(), nullptr) << "the loop went with Run";
    g_appModule.Term();
}
