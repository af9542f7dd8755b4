// The message loop: filter order, idle re-arming, skipped failures and the quit code.
// A scripted message source stands in for the thread's queue, so every case is exact.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/CMessageLoop.h"

namespace {

struct Filter : CMessageFilter {
    Filter(std::vector<std::string>& log, std::string name, bool consumes)
        : log(log), name(std::move(name)), consumes(consumes) {}
    BOOL PreTranslateMessage(MSG*) override {
        log.push_back(name);
        return consumes;
    }
    std::vector<std::string>& log;
    std::string name;
    bool consumes;
};

struct Idle : CIdleHandler {
    Idle(std::vector<std::string>& log, std::string name) : log(log), name(std::move(name)) {}
    BOOL OnIdle() override {
        log.push_back(name);
        return TRUE;  // the loop must not care
    }
    std::vector<std::string>& log;
    std::string name;
};

// Feeds a script instead of GetMessageW; the real queue stays empty, so the loop goes
// idle whenever its idle flag allows. Logs what it hands out and every idle step.
class ScriptedLoop : public CMessageLoop {
public:
    struct Step {
        BOOL result;
        UINT message;
        WPARAM wParam;
    };
    ScriptedLoop(std::vector<std::string>& log, std::vector<Step> script)
        : m_log(log), m_script(std::move(script)) {}

    BOOL OnIdle(int idleCount) override {
        m_log.push_back("idle " + std::to_string(idleCount));
        return idleCount + 1 < m_busyIdleSteps ? TRUE : CMessageLoop::OnIdle(idleCount);
    }
    int m_busyIdleSteps = 1;

protected:
    BOOL GetNextMessage(MSG& msg) override {
        if (m_next == m_script.size()) return 0;
        const Step& step = m_script[m_next++];
        msg = MSG{};
        msg.message = step.message;
        msg.wParam = step.wParam;
        m_log.push_back(step.result == -1 ? "fail" : "msg " + std::to_string(step.message));
        return step.result;
    }

private:
    std::vector<std::string>& m_log;
    std::vector<Step> m_script;
    size_t m_next = 0;
};

const UINT kCaretBlink = 0x0118;

int g_dispatched = 0;

LRESULT CALLBACK CountingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) ++g_dispatched;
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

TEST(MessageLoop, FiltersRunNewestFirstAndTheFirstThatConsumesEndsTheWalk) {
    std::vector<std::string> log;
    Filter oldest(log, "oldest", false), middle(log, "middle", true), newest(log, "newest", false);
    CMessageLoop loop;
    ASSERT_TRUE(loop.AddMessageFilter(&oldest));
    ASSERT_TRUE(loop.AddMessageFilter(&middle));
    ASSERT_TRUE(loop.AddMessageFilter(&newest));
    MSG msg = {};
    EXPECT_TRUE(loop.PreTranslateMessage(&msg));
    EXPECT_EQ(log, (std::vector<std::string>{"newest", "middle"}));

    log.clear();
    EXPECT_TRUE(loop.RemoveMessageFilter(&middle));
    EXPECT_FALSE(loop.RemoveMessageFilter(&middle)) << "a filter that is not listed";
    EXPECT_FALSE(loop.PreTranslateMessage(&msg));
    EXPECT_EQ(log, (std::vector<std::string>{"newest", "oldest"})) << "the gap is closed";
}

TEST(MessageLoop, EmptyEntriesAreSkippedAndAFullListRefuses) {
    std::vector<std::string> log;
    Filter filter(log, "filter", false);
    CMessageLoop loop;
    ASSERT_TRUE(loop.AddMessageFilter(nullptr));
    ASSERT_TRUE(loop.AddMessageFilter(&filter));
    ASSERT_TRUE(loop.AddIdleHandler(nullptr));
    MSG msg = {};
    EXPECT_FALSE(loop.PreTranslateMessage(&msg));
    EXPECT_FALSE(loop.OnIdle(0));
    EXPECT_EQ(log, (std::vector<std::string>{"filter"}));
    for (int i = 2; i < CMessageLoop::kMaxHandlers; ++i) ASSERT_TRUE(loop.AddMessageFilter(&filter));
    EXPECT_FALSE(loop.AddMessageFilter(&filter));
}

TEST(MessageLoop, IdleHandlersRunOldestFirstAndTheIdleStepAnswersFalse) {
    std::vector<std::string> log;
    Idle first(log, "first"), second(log, "second");
    CMessageLoop loop;
    loop.AddIdleHandler(&first);
    loop.AddIdleHandler(&second);
    EXPECT_FALSE(loop.OnIdle(0));
    EXPECT_EQ(log, (std::vector<std::string>{"first", "second"}));
    EXPECT_TRUE(loop.RemoveIdleHandler(&first));
    EXPECT_FALSE(loop.RemoveIdleHandler(&first));
}

TEST(MessageLoop, OnlyMessagesOtherThanMouseMovesPaintAndCaretBlinkWakeTheIdleHandlers) {
    std::vector<std::string> log;
    ScriptedLoop loop(log, {{TRUE, WM_MOUSEMOVE, 0},
                            {TRUE, WM_NCMOUSEMOVE, 0},
                            {TRUE, WM_PAINT, 0},
                            {TRUE, kCaretBlink, 0},
                            {TRUE, WM_KEYDOWN, VK_F1},
                            {TRUE, WM_TIMER, 1},
                            {FALSE, WM_QUIT, 7}});
    EXPECT_EQ(loop.Run(), 7);
    EXPECT_EQ(log, (std::vector<std::string>{"idle 0", "msg 512", "msg 160", "msg 15", "msg 280", "msg 256",
                                             "idle 0", "msg 275", "idle 0", "msg 18"}));
}

TEST(MessageLoop, IdleStepsCountUpWhileTheyAskForMore) {
    std::vector<std::string> log;
    ScriptedLoop loop(log, {{TRUE, WM_TIMER, 1}, {FALSE, WM_QUIT, 0}});
    loop.m_busyIdleSteps = 3;
    EXPECT_EQ(loop.Run(), 0);
    EXPECT_EQ(log, (std::vector<std::string>{"idle 0", "idle 1", "idle 2", "msg 275", "idle 0", "idle 1",
                                             "idle 2", "msg 18"}));
}

TEST(MessageLoop, AFailedGetIsSkippedWithoutFilteringOrWakingIdle) {
    std::vector<std::string> log;
    Filter filter(log, "filter", false);
    ScriptedLoop loop(log,
                      {{-1, WM_TIMER, 0}, {TRUE, WM_MOUSEMOVE, 0}, {-1, WM_TIMER, 0}, {FALSE, WM_QUIT, 3}});
    loop.AddMessageFilter(&filter);
    EXPECT_EQ(loop.Run(), 3);
    EXPECT_EQ(log, (std::vector<std::string>{"idle 0", "fail", "msg 512", "filter", "fail", "msg 18"}));
}

TEST(MessageLoop, RunsTheThreadsQueueUntilTheQuitMessageAndReturnsItsCode) {
    // The real queue: a consumed message is not dispatched, the others are.
    g_dispatched = 0;
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = CountingWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"MessageLoopTest";
    RegisterClassW(&windowClass);
    HWND window =
        CreateWindowW(L"MessageLoopTest", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_TRUE(window);

    struct ConsumeFirst : CMessageFilter {
        BOOL PreTranslateMessage(MSG* msg) override { return msg->message == WM_APP && seen++ == 0; }
        int seen = 0;
    } filter;
    CMessageLoop loop;
    loop.AddMessageFilter(&filter);
    PostMessageW(window, WM_APP, 0, 0);
    PostMessageW(window, WM_APP, 0, 0);
    PostQuitMessage(42);
    EXPECT_EQ(loop.Run(), 42);
    EXPECT_EQ(filter.seen, 2);
    EXPECT_EQ(g_dispatched, 1);
    DestroyWindow(window);
}
