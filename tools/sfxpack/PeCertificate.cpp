#include "tools/sfxpack/PeCertificate.h"

#include <cstdint>
#include <memory>

#include "base/LittleEndian.h"
#include "file/CFile.h"
#include "file/CFileException.h"

namespace {

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
        const uint32_t pe = LoadLe32(dos + 0x3C);
        uint8_t headers[24 + 240];
        if (!ReadAt(file, pe, headers, 24 + 2)) return StubSignature::kNotPe;
        if (LoadLe32(headers) != 0x00004550) return StubSignature::kNotPe;  // "PE\0\0"
        const uint16_t optionalSize = LoadLe16(headers + 20);
        const uint16_t magic = LoadLe16(headers + 24);
        // PE32 and PE32+ differ in where the data directories start.
        const uint32_t countAt = magic == 0x10B ? 92 : magic == 0x20B ? 108 : 0;
        if (countAt == 0 || optionalSize < countAt + 4 + 5 * 8) return StubSignature::kNotPe;
        uint8_t* optional = headers + 24;
        if (!ReadAt(file, pe + 24, optional, countAt + 4 + 5 * 8)) return StubSignature::kNotPe;
        if (LoadLe32(optional + countAt) <= 4) return StubSignature::kUnsigned;
        const uint8_t* security = optional + countAt + 4 + 4 * 8;
        file.Abort();
        table->offset = LoadLe32(security);
        table->size = LoadLe32(security + 4);
        return table->size != 0 ? StubSignature::kSigned : StubSignature::kUnsigned;
    } catch (CFileException* error) {
        std::unique_ptr<CFileException> owner(error);
        file.Abort();
        return StubSignature::kNotPe;
    }
}
