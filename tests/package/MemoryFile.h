// A CFile over bytes in memory, for tests and fuzzing of the table-of-contents
// procedure without the disk. Seek, Read, GetPosition and GetLength only; a seek
// before the start throws as the file layer does (Windows error 131).
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "file/CFile.h"
#include "file/CFileException.h"

class MemoryFile : public CFile {
public:
    MemoryFile(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    explicit MemoryFile(const std::vector<uint8_t>& bytes) : MemoryFile(bytes.data(), bytes.size()) {}

    uint32_t GetPosition() override { return static_cast<uint32_t>(m_position); }
    uint32_t GetLength() override { return static_cast<uint32_t>(m_size); }
    uint32_t Seek(int32_t distance, uint32_t origin) override {
        int64_t base = origin == begin ? 0 : origin == current ? m_position : static_cast<int64_t>(m_size);
        const int64_t target = base + distance;
        if (target < 0) ThrowFileException(CFileException::badSeek, 131, nullptr);
        m_position = target;
        ++m_seeks;
        return static_cast<uint32_t>(target);
    }
    uint32_t Read(void* buffer, uint32_t count) override {
        if (m_position >= static_cast<int64_t>(m_size)) return 0;
        const size_t available = m_size - static_cast<size_t>(m_position);
        const size_t n = count < available ? count : available;
        std::memcpy(buffer, m_data + m_position, n);
        m_position += static_cast<int64_t>(n);
        return static_cast<uint32_t>(n);
    }
    uint64_t Seeks() const { return m_seeks; }

private:
    const uint8_t* m_data;
    size_t m_size;
    int64_t m_position = 0;
    uint64_t m_seeks = 0;
};
