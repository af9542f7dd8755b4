// Entry point of the Windows test programs. Everything there links with -municode,
// which wants wmain, and GoogleTest's own main is the narrow one.
#include <gtest/gtest.h>

int wmain(int argc, wchar_t** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
