// What a package operation answers. Results and progress events share numbers (1000
// is both SFX_ERR_OPEN_PACKAGE and SFX_EVENT_BEGIN), so each has its own type: the
// compiler refuses one where the other belongs. The values are stored nowhere but are
// what callers have always compared against, so they stay.
#pragma once

#include <cstdint>

enum PackageResult : int32_t {
    SFX_ERR_OPEN_PACKAGE = 1000,
    SFX_ERR_BAD_PACKAGE = 1001,
    SFX_OK = 1002,
    SFX_ERR_COPY_STUB = 1003,
    SFX_ERR_NO_ENTRIES = 1004,
    SFX_ERR_WRITE = 1005,
    SFX_ERR_OPEN_SOURCE = 1006,
    // An entry's data is damaged: stream error, checksum mismatch, stream cut short,
    // output longer or shorter than the recorded size, or a name or offset we refuse.
    SFX_ERR_DAMAGED = 1007,
    // Only the writer's internal WriteEntries answers this, for its own success; every
    // operation callers reach turns it into SFX_OK.
    SFX_WRITE_DONE = 1008,
};
