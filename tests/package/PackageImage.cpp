#include "package/PackageImage.h"

#include <zlib.h>

#include <stdexcept>

std::vector<uint8_t> ZlibCompress(const std::vector<uint8_t>& data, int level) {
    uLongf length = compressBound(static_cast<uLong>(data.size()));
    std::vector<uint8_t> out(length);
    if (compress2(out.data(), &length, data.data(), static_cast<uLong>(data.size()), level) != Z_OK) {
        throw std::runtime_error("compress2 failed");
    }
    out.resize(length);
    return out;
}

std::u16string U16(const char* ascii) {
    std::u16string text;
    while (*ascii != 0) text.push_back(static_cast<char16_t>(static_cast<unsigned char>(*ascii++)));
    return text;
}

PackageImage::Record& PackageImage::AddEntry(const std::u16string& name, const std::vector<uint8_t>& data) {
    Record record;
    const std::vector<uint8_t> stream = ZlibCompress(data);
    record.offset = static_cast<uint32_t>(m_bytes.size());
    record.size = static_cast<uint32_t>(data.size());
    record.compressedSize = static_cast<uint32_t>(stream.size());
    record.name = name;
    record.nameLength = static_cast<int32_t>(name.size());
    Append(stream);
    m_records.push_back(record);
    return m_records.back();
}

void PackageImage::AppendLe32(uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) m_bytes.push_back(static_cast<uint8_t>(value >> shift));
}

void PackageImage::AppendTable() {
    for (const Record& r : m_records) {
        AppendLe32(r.offset);
        AppendLe32(r.size);
        AppendLe32(r.compressedSize);
        for (char16_t unit : r.name) {
            m_bytes.push_back(static_cast<uint8_t>(unit));
            m_bytes.push_back(static_cast<uint8_t>(unit >> 8));
        }
        AppendLe32(static_cast<uint32_t>(r.nameLength));
    }
}

void PackageImage::AppendTrailer(int32_t entryCount, const char* version) {
    AppendLe32(static_cast<uint32_t>(entryCount));
    for (int i = 0; i < 4; ++i) m_bytes.push_back(static_cast<uint8_t>(version[i]));
    for (char c : std::string("!NORBASFX!")) m_bytes.push_back(static_cast<uint8_t>(c));
}
