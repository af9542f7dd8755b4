#include "package/reader/BufferedSink.h"

#include <algorithm>
#include <cstring>

BufferedSink::BufferedSink(CFile& file, uint32_t capacity)
    : CFile(file.m_hFile), m_file(file), m_buffer(std::max<uint32_t>(capacity, 1)) {
    m_fileName = file.m_fileName;
}

uint32_t BufferedSink::GetPosition() {
    return m_file.GetPosition() + m_held;
}

bool BufferedSink::Open(const char16_t* path, uint32_t flags, CFileException* error) {
    m_held = 0;
    const bool opened = m_file.Open(path, flags, error);
    m_hFile = m_file.m_hFile;
    m_fileName = m_file.m_fileName;
    return opened;
}

uint32_t BufferedSink::Seek(int32_t distance, uint32_t origin) {
    WriteHeld();
    return m_file.Seek(distance, origin);
}

void BufferedSink::SetLength(uint32_t length) {
    WriteHeld();
    m_file.SetLength(length);
}

uint32_t BufferedSink::GetLength() {
    WriteHeld();
    return m_file.GetLength();
}

uint32_t BufferedSink::Read(void* buffer, uint32_t count) {
    WriteHeld();
    return m_file.Read(buffer, count);
}

void BufferedSink::Write(const void* buffer, uint32_t count) {
    if (count == 0) return;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    if (count > m_buffer.size() - m_held) {
        WriteHeld();
        // A piece as large as the block goes to the file as it is.
        if (count >= m_buffer.size()) {
            m_file.Write(bytes, count);
            return;
        }
    }
    std::memcpy(m_buffer.data() + m_held, bytes, count);
    m_held += count;
}

void BufferedSink::Abort() noexcept {
    m_held = 0;
    m_hFile = hFileNull;
    m_fileName.Empty();
    m_file.Abort();
}

void BufferedSink::Flush() {
    WriteHeld();
    m_file.Flush();
}

void BufferedSink::Close() {
    WriteHeld();
    m_hFile = hFileNull;
    m_fileName.Empty();
    m_file.Close();
}

void BufferedSink::WriteHeld() {
    const uint32_t held = m_held;
    // Forgotten before the write, so a failure never writes it a second time.
    m_held = 0;
    if (held > 0) m_file.Write(m_buffer.data(), held);
}
