// The process-wide object and its loaders, with both module handles empty (the executable).
#include "res/ResourceManager.h"

#include <windows.h>
#undef LoadString
#undef LoadMenu
#undef LoadBitmap
#undef LoadCursor

#include <gtest/gtest.h>

#include <string>

#include "res/TestStringIds.h"

TEST(ResourceManager, InstanceIsOneSharedObject) {
    boost::shared_ptr<ResourceManager> first = ResourceManager::Instance();
    ASSERT_TRUE(first);
    long before = first.use_count();
    {
        boost::shared_ptr<ResourceManager> second = ResourceManager::Instance();
        EXPECT_EQ(second.get(), first.get());
        EXPECT_EQ(first.use_count(), before + 1);
    }
    EXPECT_EQ(first.use_count(), before);
    // The static reference keeps it alive when every caller has let go.
    EXPECT_GE(before, 2);
}

TEST(ResourceManager, InstanceStartsEmptyAndKeepsItsList) {
    // Nothing else in this test program touches the process-wide list.
    EXPECT_EQ(ResourceManager::Instance()->GetLanguageCount(), 0);
    ResourceManager::Instance()->AddLanguage(0x0411);
    EXPECT_EQ(ResourceManager::Instance()->GetLanguageCount(), 2);
    EXPECT_EQ(ResourceManager::Instance()->GetLanguage(0), 0x0411u);
}

TEST(ResourceManager, LoadStringReadsTheExecutablesTable) {
    ResourceManager manager;
    WideString text(u"previous");
    EXPECT_TRUE(manager.LoadString(text, 225));
    EXPECT_EQ(text.GetLength(), 65u);
    EXPECT_TRUE(manager.LoadString(text, IDS_TEST_300));
    EXPECT_EQ(text.GetLength(), 300u);
    EXPECT_FALSE(manager.LoadString(text, 202));
    EXPECT_TRUE(text.IsEmpty());
}

TEST(ResourceManager, LoadStringStopsAt511Units) {
    ResourceManager manager;
    WideString text;
    EXPECT_TRUE(manager.LoadString(text, IDS_TEST_512));
    EXPECT_EQ(text.GetLength(), 511u);
}

TEST(ResourceManager, LoadMenuReplacesTheHandleOnlyWhenLoaded) {
    ResourceManager manager;
    HMENU menu = nullptr;
    ASSERT_TRUE(manager.LoadMenu(menu, MAKEINTRESOURCEW(IDM_TEST_MENU)));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(GetMenuItemCount(menu), 1);
    HMENU kept = menu;
    EXPECT_FALSE(manager.LoadMenu(menu, MAKEINTRESOURCEW(IDM_TEST_MENU + 1)));
    EXPECT_EQ(menu, kept);
    DestroyMenu(menu);
}

TEST(ResourceManager, LoadBitmapAndCursorFallBackToTheSystemsOwn) {
    // An empty default module means the system's own bitmaps and cursors.
    ResourceManager manager;
    HBITMAP bitmap = nullptr;
    ASSERT_TRUE(manager.LoadBitmap(bitmap, MAKEINTRESOURCEW(32754)));  // OBM_CLOSE
    EXPECT_NE(bitmap, nullptr);
    HBITMAP kept = bitmap;
    EXPECT_FALSE(manager.LoadBitmap(bitmap, MAKEINTRESOURCEW(1)));
    EXPECT_EQ(bitmap, kept);
    DeleteObject(bitmap);
    EXPECT_EQ(manager.LoadCursor(IDC_ARROW), LoadCursorW(nullptr, IDC_ARROW));
    EXPECT_EQ(manager.LoadCursor(MAKEINTRESOURCEW(1)), nullptr);
}
