// Writes a file in large blocks for a writer that hands over small pieces
// (inflate's 4096 bytes), so that the system sees one call per block. It stands in
// for the file it wraps wherever a CFile is written: GetPosition counts what is
// held; Seek, SetLength, GetLength and Read write what is held first; Flush and
// Close write it, then flush or close the file; Open and Abort drop it. Nothing is
// written when the sink goes: close it (or WriteHeld) first, since a destructor
// cannot report a failed write. After a failed write what was held is gone, so
// the file is incomplete and the caller drops it. While the sink is in use, write
// through it only.
#pragma once

#include <cstdint>
#include <vector>

#include "file/CFile.h"

class BufferedSink : public CFile {
public:
    static constexpr uint32_t kDefaultCapacity = 256u << 10;

    explicit BufferedSink(CFile& file, uint32_t capacity = kDefaultCapacity);

    uint32_t GetPosition() override;
    bool Open(const char16_t* path, uint32_t flags, CFileException* error = nullptr) override;
    uint32_t Seek(int32_t distance, uint32_t origin) override;
    void SetLength(uint32_t length) override;
    uint32_t GetLength() override;
    uint32_t Read(void* buffer, uint32_t count) override;
    void Write(const void* buffer, uint32_t count) override;
    void Abort() noexcept override;
    void Flush() override;
    void Close() override;

    // Hands what is held to the file, without the file's Flush.
    void WriteHeld();

private:
    CFile& m_file;
    std::vector<uint8_t> m_buffer;
    uint32_t m_held = 0;
};
