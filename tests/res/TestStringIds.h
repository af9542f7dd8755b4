// Test-only resources, linked into the string tests next to the stub's own.
#pragma once

#define IDS_TEST_254 1000   // the longest text that loads in one go
#define IDS_TEST_255 1001   // the shortest that needs a retry
#define IDS_TEST_300 1002   // ends in U+2026
#define IDS_TEST_511 1003   // the longest for one retry at 512
#define IDS_TEST_512 1004   // needs a second retry, at 768
#define IDS_TEST_FORMAT 1005  // 298 units ending in "count %d"
#define IDM_TEST_MENU 300
