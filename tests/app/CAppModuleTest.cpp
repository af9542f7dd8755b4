// The module's loop registry: one loop per thread, under the module lock.
#include <gtest/gtest.h>

#include "app/CAppModule.h"
#include "app/CMessageLoop.h"

namespace {

DWORD WINAPI OtherThread(void* param) {
    auto* module = static_cast<CAppModule*>(param);
    CMessageLoop loop;
    bool ok = module->GetMessageLoop() == nullptr && module->AddMessageLoop(&loop) &&
              module->GetMessageLoop() == &loop && module->RemoveMessageLoop();
    return ok ? 0 : 1;
}

}  // namespace

TEST(AppModule, EachThreadSeesOnlyItsOwnLoop) {
    CAppModule module;
    EXPECT_EQ(module.GetResourceInstance(), GetModuleHandleW(nullptr));
    CMessageLoop loop;
    EXPECT_FALSE(module.AddMessageLoop(&loop)) << "no registry before Init";
    module.Init(nullptr, GetModuleHandleW(nullptr));
    EXPECT_EQ(module.GetMessageLoop(), nullptr);
    ASSERT_TRUE(module.AddMessageLoop(&loop));
    CMessageLoop second;
    EXPECT_FALSE(module.AddMessageLoop(&second)) << "one loop per thread";
    EXPECT_EQ(module.GetMessageLoop(), &loop);

    HANDLE thread = CreateThread(nullptr, 0, OtherThread, &module, 0, nullptr);
    ASSERT_TRUE(thread);
    WaitForSingleObject(thread, INFINITE);
    DWORD code = 99;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    EXPECT_EQ(code, 0u) << "another thread has no loop, registers its own and removes only that";
    EXPECT_EQ(module.GetMessageLoop(), &loop);

    EXPECT_TRUE(module.RemoveMessageLoop());
    EXPECT_FALSE(module.RemoveMessageLoop());
    EXPECT_EQ(module.GetMessageLoop(), nullptr);
}

TEST(AppModule, TermDropsTheRegistry) {
    CAppModule module;
    module.Init(nullptr, nullptr);
    CMessageLoop loop;
    ASSERT_TRUE(module.AddMessageLoop(&loop));
    module.Term();
    EXPECT_EQ(module.GetMessageLoop(), nullptr);
    EXPECT_FALSE(module.AddMessageLoop(&loop));
}
