// Progress events of extraction and writing, and the callback that receives them.
#pragma once

#include <cstdint>

// data points at the entry's name in the table (WideString) for BEGIN and END, so
// SelfExtractor::IndexOfEventData tells which entry it is; at an int32_t percentage
// for PROGRESS. The numbers are those of PackageResult, under a type of their own.
enum PackageEvent : int32_t {
    SFX_EVENT_BEGIN = 1000,
    SFX_EVENT_END = 1001,
    SFX_EVENT_PROGRESS = 1002,
};

typedef void (*PackageProgressCallback)(PackageEvent event, void* data, uintptr_t userData);
