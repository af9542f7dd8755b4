// Whether a stub executable already carries an Authenticode certificate table,
// and where that table lies.
#pragma once

#include <cstdint>

#include "base/WideString.h"

class CFile;

enum class StubSignature { kUnsigned, kSigned, kNotPe };

// Data directory 4 of the PE headers: the certificate table's file offset and size.
struct CertificateTable {
    uint32_t offset = 0;
    uint32_t size = 0;
};

// Reads the PE headers of the open file: signed when data directory 4 (the
// certificate table) is not empty, and then *table says where it lies. Throws
// nothing; a file that cannot be read counts as kNotPe.
StubSignature ReadCertificateTable(CFile& file, CertificateTable* table);
// The same of the file at path.
StubSignature ReadCertificateTable(const WideString& path, CertificateTable* table);
