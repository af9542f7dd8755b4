// Reads a file in large blocks for a reader that asks for small pieces (inflate's
// 4096 bytes), so that the system sees one call per block. It stands in for the file
// it wraps wherever a CFile is read: Read, Seek, GetPosition and GetLength answer as
// the file would, Open, Close and Abort go to the file. Writing through it throws
// (accessDenied). While it is in use, the file's own position is ahead of the
// source's by what is buffered: use one or the other, not both.
#pragma once

#include <cstdint>
#include <vector>

#include "file/CFile.h"

class BufferedSource : public CFile {
public:
    static constexpr uint32_t kDefaultCapacity = 256u << 10;

    explicit BufferedSource(CFile& file, uint32_t capacity = kDefaultCapacity);

    uint32_t GetPosition() override;
    bool Open(const char16_t* path, uint32_t flags, CFileException* error = nullptr) override;
    // Within the buffered block it moves without asking the system.
    uint32_t Seek(int32_t distance, uint32_t origin) override;
    void SetLength(uint32_t length) override;
    uint32_t GetLength() override;
    // Short only at the end of the file, as the file's own Read.
    uint32_t Read(void* buffer, uint32_t count) override;
    void Write(const void* buffer, uint32_t count) override;
    void Abort() noexcept override;
    void Close() override;

private:
    // Lets the file's position catch up with the source's and forgets the block.
    void Drop();
    uint32_t Unread() const { return m_end - m_next; }

    CFile& m_file;
    std::vector<uint8_t> m_buffer;
    uint32_t m_next = 0;  // the next byte to hand out
    uint32_t m_end = 0;   // the end of what the last read brought
};
