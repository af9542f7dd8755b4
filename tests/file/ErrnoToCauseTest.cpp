#include <gtest/gtest.h>

#include <cerrno>
#include <set>

#include "file/CFileException.h"

namespace {

// Each errno value with the cause Windows reports for the same failure.
TEST(ErrnoToCause, EveryListedValue) {
    struct Row {
        int error;
        int32_t cause;
    };
    const Row rows[] = {
        {0, 0},        {ENOENT, 2},  {ENXIO, 2},     {ENOTDIR, 3}, {ENAMETOOLONG, 3}, {ELOOP, 3},
        {EXDEV, 3},    {ENODEV, 3},  {EMFILE, 4},    {ENFILE, 4},  {EACCES, 5},       {EPERM, 5},
        {EROFS, 5},    {EEXIST, 5},  {EISDIR, 5},    {EBADF, 5},   {ENOEXEC, 6},      {ENOTEMPTY, 7},
        {EMLINK, 8},   {ESPIPE, 9},  {EOVERFLOW, 9}, {EIO, 10},    {EINTR, 10},       {EBUSY, 11},
        {ETXTBSY, 11}, {EAGAIN, 12}, {EDEADLK, 12},  {ENOLCK, 12}, {ENOSPC, 13},      {EDQUOT, 13},
        {EFBIG, 13},
    };
    std::set<int> listed;
    for (const Row& row : rows) {
        EXPECT_EQ(ErrnoToCause(row.error), row.cause) << "errno " << row.error;
        listed.insert(row.error);
    }
    // EINVAL and the rest are generic; a seek turns its own EINVAL into a bad seek.
    for (int error = 1; error < 200; ++error) {
        if (listed.count(error) == 0) {
            EXPECT_EQ(ErrnoToCause(error), 1) << "errno " << error;
        }
    }
    EXPECT_EQ(ErrnoToCause(EINVAL), 1);
    EXPECT_EQ(ErrnoToCause(-1), 1);
}

}  // namespace
