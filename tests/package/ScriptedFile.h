// A CFile in memory that reads and writes at its position, counts the calls that
// reach it and fails where the test says: write number failWrite (1 = the first)
// throws diskFull as a full disk does, a read that would reach past byte failReadAt
// throws hardIO as a bad sector does. The file under the encoder and the buffered
// units in their tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "file/CFile.h"
#include "file/CFileException.h"

class ScriptedFile : public CFile {
public:
    ScriptedFile() = default;
    explicit ScriptedFile(std::vector<uint8_t> content) : bytes(std::move(content)) {}

    uint32_t GetPosition() override { return static_cast<uint32_t>(m_position); }
    uint32_t GetLength() override { return static_cast<uint32_t>(bytes.size()); }
    uint32_t Seek(int32_t distance, uint32_t origin) override {
        const int64_t base = origin == begin     ? 0
                             : origin == current ? m_position
                                                 : static_cast<int64_t>(bytes.size());
        if (base + distance < 0) ThrowFileException(CFileException::badSeek, 131, nullptr);
        m_position = static_cast<size_t>(base + distance);
        return static_cast<uint32_t>(m_position);
    }
    uint32_t Read(void* buffer, uint32_t count) override {
        ++reads;
        if (m_position + count > failReadAt) ThrowFileException(CFileException::hardIO, 23, nullptr);
        const size_t n = m_position >= bytes.size() ? 0 : std::min<size_t>(count, bytes.size() - m_position);
        if (n > 0) std::memcpy(buffer, bytes.data() + m_position, n);
        m_position += n;
        return static_cast<uint32_t>(n);
    }
    void Write(const void* buffer, uint32_t count) override {
        if (++writes == failWrite) ThrowFileException(CFileException::diskFull, 112, nullptr);
        if (bytes.size() < m_position + count) bytes.resize(m_position + count);
        if (count > 0) std::memcpy(bytes.data() + m_position, buffer, count);
        m_position += count;
    }
    void Close() override { ++closes; }
    void Abort() noexcept override { ++aborts; }

    std::vector<uint8_t> bytes;
    uint64_t failWrite = 0;  // 0: never
    uint64_t failReadAt = UINT64_MAX;
    uint64_t reads = 0;
    uint64_t writes = 0;
    int closes = 0;
    int aborts = 0;

private:
    size_t m_position = 0;
};
