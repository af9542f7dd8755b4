// What the headers of a Windows program (a PE image) tell sfxpack: whether a file is
// one, for which machine and word size, where its image ends in the file, and whether
// it carries an Authenticode certificate table, and where.
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

class PeImage {
public:
    // Reads the headers of the open file, or of the file at path. Throws nothing; a file
    // that cannot be read counts as no PE image.
    static PeImage Read(CFile& file);
    static PeImage Read(const WideString& path);

    bool IsPe() const { return m_pe; }
    // A 32-bit x86 program (PE32, i386): what an installer of ours is.
    bool Is32BitX86() const { return m_pe && !m_64Bit && m_machine == 0x14C; }
    bool Is64Bit() const { return m_pe && m_64Bit; }
    // Signed when data directory 4, the certificate table, is not empty.
    StubSignature Signature() const;
    const CertificateTable& Certificates() const { return m_certificates; }
    // Where the image ends in a file of length bytes: past its headers, its sections'
    // data, its symbol table and a certificate table that lies within the file.
    uint64_t End(uint64_t length) const;

private:
    // Throws from the file layer when a read fails.
    void ReadHeaders(CFile& file);

    bool m_pe = false;
    bool m_64Bit = false;
    uint16_t m_machine = 0;
    uint64_t m_end = 0;  // of the headers, sections and symbols
    CertificateTable m_certificates;
};
