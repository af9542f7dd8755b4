#include "tools/sfxpack/formats/PeCertificate.h"

#include <cstdint>

#include "base/LittleEndian.h"
#include "file/CFile.h"
#include "file/CatchFileError.h"

namespace {

bool ReadAt(CFile& file, uint32_t position, uint8_t* buffer, uint32_t count) {
    if (position > 0x7FFFFFFFu) return false;
    file.Seek(static_cast<int32_t>(position), CFile::begin);
    return file.Read(buffer, count) == count;
}

// Throws from the file layer when a read fails.
StubSignature ReadHeaders(CFile& file, CertificateTable* table) {
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
    table->offset = LoadLe32(security);
    table->size = LoadLe32(security + 4);
    return table->size != 0 ? StubSignature::kSigned : StubSignature::kUnsigned;
}

}  // namespace

StubSignature ReadCertificateTable(CFile& file, CertificateTable* table) {
    *table = CertificateTable();
    StubSignature signature = StubSignature::kNotPe;
    if (CatchFileError([&] { signature = ReadHeaders(file, table); }) == CFileException::none)
        return signature;
    *table = CertificateTable();
    return StubSignature::kNotPe;
}

StubSignature ReadCertificateTable(const WideString& path, CertificateTable* table) {
    CFile file;
    if (!file.Open(path.c_str(), CFile::accessRead | CFile::shareAllowAll)) {
        *table = CertificateTable();
        return StubSignature::kNotPe;
    }
    const StubSignature signature = ReadCertificateTable(file, table);
    file.Abort();
    return signature;
}
