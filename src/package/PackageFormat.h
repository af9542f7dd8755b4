// Byte layout and limits of the package that is appended to the installer. Shared
// by the reader, the writer and the packer.
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

// zlib's level for the writer's own stream (whose header is then 78 9C), and the
// packer's default.
constexpr int32_t kDefaultDeflateLevel = 6;

// The marker search reads windows of 512 bytes stepping back 502, so that a marker
// straddling two windows lies wholly inside the later one.
constexpr uint32_t kSearchWindow = 512;
constexpr uint32_t kSearchStep = kSearchWindow - kMarkerLength;
