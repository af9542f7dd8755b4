// Byte layout, limits, result codes and progress events of the package that is
// appended to the installer. Shared by the reader, the writer and the packer.
//
// An installer on disk (all integers 32-bit little-endian, no padding):
//
//   +-------------------------------+ 0
//   | stub executable (any length;  |
//   | empty for a package file)     |
//   +-------------------------------+ entry 0's offset
//   | entry 0: one zlib stream      | compressedSize bytes, begins 78 9C
//   | entry 1 ...                   |
//   | entry n-1                     |
//   +-------------------------------+ records, entry 0 first, each:
//   | offset         u32            |   where the entry's stream begins
//   | size           u32            |   inflated length
//   | compressedSize u32            |   length of the stream
//   | name           2*len bytes    |   UTF-16LE, no terminator, no folder
//   | nameLength     i32            |   after the name: a backwards reader meets it first
//   +-------------------------------+ trailer, 18 bytes:
//   | entryCount     i32            |   1 to 256
//   | version        "2.00"         |
//   | marker         "!NORBASFX!"   |
//   +-------------------------------+ end of package
//   | alignment, certificate table  | after signing; skipped by the reader
//   +-------------------------------+
#pragma once

#include <cstddef>
#include <cstdint>

class WideString;

// Trailer: entryCount (4), version (4), marker (10).
constexpr uint8_t kPackageMarker[10] = {'!', 'N', 'O', 'R', 'B', 'A', 'S', 'F', 'X', '!'};
constexpr uint8_t kPackageVersion[4] = {'2', '.', '0', '0'};
constexpr uint32_t kMarkerLength = sizeof(kPackageMarker);
constexpr uint32_t kTrailerLength = 4 + 4 + kMarkerLength;
// offset, size, compressedSize and nameLength; the name's units, which lie between
// compressedSize and nameLength, come on top.
constexpr uint32_t kRecordFixedLength = 16;

constexpr int32_t kMaxEntries = 256;
constexpr int32_t kMaxNameLength = 255;  // the name buffer holds 256 units with its zero
// Every position and length travels in a signed 32-bit seek, so no package file
// may reach 2 GiB.
constexpr uint32_t kMaxPackageLength = 0x7FFFFFFFu;

// The marker search reads windows of 512 bytes stepping back 502, so that a marker
// straddling two windows lies wholly inside the later one.
constexpr uint32_t kSearchWindow = 512;
constexpr uint32_t kSearchStep = kSearchWindow - kMarkerLength;

constexpr uint32_t kBufferSize = 4096;

// Results of the package operations. Results and events share numbers (1000 is
// both SFX_ERR_OPEN_PACKAGE and SFX_EVENT_BEGIN), so each has its own type: the
// compiler refuses one where the other belongs. The values are stored nowhere but
// are what callers have always compared against, so they stay.
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
    SFX_WRITE_DONE = 1008,
};

// Progress events: data points at the entry's name in the table (WideString) for
// BEGIN and END, so SelfExtractor::IndexOfEventData tells which entry it is; at an
// int32_t percentage for PROGRESS.
enum PackageEvent : int32_t {
    SFX_EVENT_BEGIN = 1000,
    SFX_EVENT_END = 1001,
    SFX_EVENT_PROGRESS = 1002,
};

typedef void (*PackageProgressCallback)(PackageEvent event, void* data, uintptr_t userData);

// The separator that joins a destination folder and an entry name.
#ifdef _WIN32
constexpr char16_t kPathSeparator = u'\\';
#else
constexpr char16_t kPathSeparator = u'/';
#endif
