// Builds package files byte by byte, independently of the writer, so that the
// reader is tested against the format itself, including the ways it can be wrong.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class PackageImage {
public:
    struct Record {
        uint32_t offset = 0;
        uint32_t size = 0;
        uint32_t compressedSize = 0;
        std::u16string name;
        int32_t nameLength = 0;
    };

    // Appends raw bytes (a prefix, a stub, a stream, a suffix).
    void Append(const std::vector<uint8_t>& bytes) { m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end()); }
    void AppendZeros(size_t count) { m_bytes.resize(m_bytes.size() + count, 0); }
    // Appends data compressed as a zlib stream at level 6 and records an entry for it.
    Record& AddEntry(const std::u16string& name, const std::vector<uint8_t>& data);
    // Appends the records (entry 0 first), entryCount and version, then the marker.
    void AppendTable();
    void AppendTrailer(int32_t entryCount, const char* version = "2.00");
    void AppendTableAndTrailer() {
        AppendTable();
        AppendTrailer(static_cast<int32_t>(m_records.size()));
    }
    void AppendLe32(uint32_t value);

    std::vector<Record>& Records() { return m_records; }
    std::vector<uint8_t>& Bytes() { return m_bytes; }
    size_t Size() const { return m_bytes.size(); }

private:
    std::vector<uint8_t> m_bytes;
    std::vector<Record> m_records;
};

std::vector<uint8_t> ZlibCompress(const std::vector<uint8_t>& data, int level = 6);
std::u16string U16(const char* ascii);
