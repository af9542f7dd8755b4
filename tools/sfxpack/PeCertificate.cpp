#include "tools/sfxpack/PeCertificate.h"

#include <cstdint>
#include <memory>

#include "file/CFile.h"
#include "file/CFileException.h"

namespace {

uint32_t Le32(const uint8_t* b) { return b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24; }
uint16_t Le16(const uint8_t* b) { return static_cast<uint16_t>(b[0] | b[1] << 8); }

bool ReadAt(CFile& file, uint32_t position, uint8_t* buffer, uint32_t count) {
    if (position > 0x7FFFFFFFu) return false;
    file.Seek(static_cast<int32_t>(position), CFile::begin);
    return file.Read(buffer, count) == count;
}

}  // namespace

StubSignature ReadCertificateTable(const WideString& path, CertificateTable* table) {
    *table = CertificateTable();
    CFile file;
    if (!file.Open(path.c_str(), CFile::accessRead | CFile::shareAllowAll)) return StubSignature::kNotPe;
    try {
        uint8_t dos[64];
        if (!ReadAt(file, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return StubSignature::kNotPe;
        const uint32_t pe = Le32(dos + 0x3C);
        uint8_t headers[24 + 240];
        if (!ReadAt(file, pe, headers, 24 + 2)) return StubSignature::kNotPe;
        if (Le32(headers) != 0x00004550) return StubSignature::kNotPe;  // "PE\0\0"
        const uint16_t optionalSize = Le16(headers + 20);
        const uint16_t magic = Le16(headers + 24);
        // PE32 and PE32+ differ in where the data directories start.
        const uint32_t countAt = magic == 0x10B ? 92 : magic == 0x20B ? 108 : 0;
        if (countAt == 0 || optionalSize < countAt + 4 + 5 * 8) return StubSignature::kNotPe;
        uint8_t* optional = headers + 24;
        if (!ReadAt(file, pe + 24, optional, countAt + 4 + 5 * 8)) return StubSignature::kNotPe;
        if (Le32(optional + countAt) <= 4) return StubSignature::kUnsigned;
        const uint8_t* security = optional + countAt + 4 + 4 * 8;
        file.Abort();
        table->offset = Le32(security);
        table->size = Le32(security + 4);
        return table->size != 0 ? StubSignature::kSigned : StubSignature::kUnsigned;
    } catch (CFileException* error) {
        std::unique_ptr<CFileException> owner(error);
        file.Abort();
        return StubSignature::kNotPe;
    }
}
