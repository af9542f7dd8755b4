#include "tools/sfxpack/formats/PeImage.h"

#include <algorithm>
#include <cstdint>

#include "base/LittleEndian.h"
#include "file/CFile.h"
#include "file/CatchFileError.h"

namespace {

constexpr uint32_t kSectionLength = 40;
constexpr uint32_t kSymbolLength = 18;
constexpr uint32_t kMostSections = 96;

bool ReadAt(CFile& file, uint64_t position, uint8_t* buffer, uint32_t count) {
    if (position > 0x7FFFFFFFu) return false;
    file.Seek(static_cast<int32_t>(position), CFile::begin);
    return file.Read(buffer, count) == count;
}

}  // namespace

void PeImage::ReadHeaders(CFile& file) {
    uint8_t dos[64];
    if (!ReadAt(file, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return;
    const uint32_t pe = LoadLe32(dos + 0x3C);
    uint8_t headers[24 + 240];
    if (!ReadAt(file, pe, headers, 24 + 2) || LoadLe32(headers) != 0x00004550) return;  // "PE\0\0"
    const uint16_t sections = LoadLe16(headers + 6);
    const uint16_t optionalSize = LoadLe16(headers + 20);
    const uint16_t magic = LoadLe16(headers + 24);
    // PE32 and PE32+ differ in where the data directories start.
    const uint32_t countAt = magic == 0x10B ? 92 : magic == 0x20B ? 108 : 0;
    if (countAt == 0 || optionalSize < countAt + 4 + 5 * 8) return;
    uint8_t* optional = headers + 24;
    if (!ReadAt(file, uint64_t{pe} + 24, optional, countAt + 4 + 5 * 8)) return;
    m_pe = true;
    m_64Bit = magic == 0x20B;
    m_machine = LoadLe16(headers + 4);
    m_end = LoadLe32(optional + 60);  // SizeOfHeaders
    if (LoadLe32(optional + countAt) > 4) {
        const uint8_t* security = optional + countAt + 4 + 4 * 8;
        m_certificates = {LoadLe32(security), LoadLe32(security + 4)};
    }
    const uint64_t table = uint64_t{pe} + 24 + optionalSize;
    for (uint32_t i = 0; i < std::min<uint32_t>(sections, kMostSections); ++i) {
        uint8_t section[kSectionLength];
        if (!ReadAt(file, table + i * kSectionLength, section, sizeof section)) break;
        m_end = std::max<uint64_t>(m_end, uint64_t{LoadLe32(section + 20)} + LoadLe32(section + 16));
    }
    // A program built with its symbols keeps them, and their string table, after its sections.
    const uint32_t symbols = LoadLe32(headers + 12);
    uint8_t strings[4];
    const uint64_t stringsAt = uint64_t{symbols} + uint64_t{LoadLe32(headers + 16)} * kSymbolLength;
    if (symbols != 0 && ReadAt(file, stringsAt, strings, sizeof strings))
        m_end = std::max<uint64_t>(m_end, stringsAt + LoadLe32(strings));
}

PeImage PeImage::Read(CFile& file) {
    PeImage image;
    if (CatchFileError([&] { image.ReadHeaders(file); }) != CFileException::none) return PeImage();
    return image;
}

PeImage PeImage::Read(const WideString& path) {
    CFile file;
    if (!file.Open(path.c_str(), CFile::accessRead | CFile::shareAllowAll)) return PeImage();
    const PeImage image = Read(file);
    file.Abort();
    return image;
}

StubSignature PeImage::Signature() const {
    if (!m_pe) return StubSignature::kNotPe;
    return m_certificates.size != 0 ? StubSignature::kSigned : StubSignature::kUnsigned;
}

uint64_t PeImage::End(uint64_t length) const {
    const uint64_t certificatesEnd = uint64_t{m_certificates.offset} + m_certificates.size;
    if (m_certificates.size != 0 && certificatesEnd <= length) return std::max(m_end, certificatesEnd);
    return m_end;
}
