#include "package/reader/BufferedSource.h"

#include <algorithm>
#include <cstring>

#include "file/CFileException.h"

BufferedSource::BufferedSource(CFile& file, uint32_t capacity)
    : CFile(file.m_hFile), m_file(file), m_buffer(std::max<uint32_t>(capacity, 1)) {
    m_fileName = file.m_fileName;
}

uint32_t BufferedSource::GetPosition() {
    return m_file.GetPosition() - Unread();
}

bool BufferedSource::Open(const char16_t* path, uint32_t flags, CFileException* error) {
    m_next = m_end = 0;
    const bool opened = m_file.Open(path, flags, error);
    m_hFile = m_file.m_hFile;
    m_fileName = m_file.m_fileName;
    return opened;
}

uint32_t BufferedSource::Seek(int32_t distance, uint32_t origin) {
    if (m_end > 0 && (origin == begin || origin == current)) {
        const int64_t blockStart = static_cast<int64_t>(m_file.GetPosition()) - m_end;
        const int64_t target = (origin == begin ? 0 : blockStart + m_next) + distance;
        if (target >= blockStart && target <= blockStart + m_end) {
            m_next = static_cast<uint32_t>(target - blockStart);
            return static_cast<uint32_t>(target);
        }
    }
    Drop();
    return m_file.Seek(distance, origin);
}

void BufferedSource::SetLength(uint32_t) {
    ThrowFileException(CFileException::accessDenied, -1, m_fileName.c_str());
}

uint32_t BufferedSource::GetLength() {
    // The file's GetLength puts its position back where it was.
    return m_file.GetLength();
}

uint32_t BufferedSource::Read(void* buffer, uint32_t count) {
    auto* out = static_cast<uint8_t*>(buffer);
    uint32_t total = 0;
    while (total < count) {
        if (m_next == m_end) {
            const uint32_t left = count - total;
            // A request as large as the block goes straight to the caller's buffer.
            if (left >= m_buffer.size()) {
                m_next = m_end = 0;
                return total + m_file.Read(out + total, left);
            }
            m_next = 0;
            m_end = m_file.Read(m_buffer.data(), static_cast<uint32_t>(m_buffer.size()));
            if (m_end == 0) break;
        }
        const uint32_t piece = std::min(count - total, Unread());
        std::memcpy(out + total, m_buffer.data() + m_next, piece);
        m_next += piece;
        total += piece;
    }
    return total;
}

void BufferedSource::Write(const void*, uint32_t) {
    ThrowFileException(CFileException::accessDenied, -1, m_fileName.c_str());
}

void BufferedSource::Abort() noexcept {
    m_next = m_end = 0;
    m_hFile = hFileNull;
    m_fileName.Empty();
    m_file.Abort();
}

void BufferedSource::Close() {
    m_next = m_end = 0;
    m_hFile = hFileNull;
    m_fileName.Empty();
    m_file.Close();
}

void BufferedSource::Drop() {
    const uint32_t unread = Unread();
    m_next = m_end = 0;
    if (unread > 0) m_file.Seek(-static_cast<int32_t>(unread), current);
}
