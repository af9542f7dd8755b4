// The members of CFile that do not touch the operating system; each backend
// (CFileWin32.cpp, CFilePosix.cpp) supplies the rest and hFileNull.
#include "file/CFile.h"

#include "file/CFileException.h"

CFile::CFile() noexcept : m_hFile(hFileNull), m_closeOnDelete(0) {}

CFile::CFile(Handle handle) noexcept : m_hFile(handle), m_closeOnDelete(0) {}

CFile::CFile(const char16_t* path, uint32_t flags) : m_hFile(hFileNull), m_closeOnDelete(0) {
    CFileException error;
    if (!Open(path, flags, &error))
        ThrowFileException(error.m_cause, error.m_osError, error.m_fileName.c_str());
}

CFile::~CFile() {
    if (m_hFile == hFileNull || !m_closeOnDelete) return;
    // A throw out of a destructor ends the process; a failed close here is lost instead.
    try {
        Close();
    } catch (CFileException* error) {
        delete error;
    }
}

void CFile::SetFileName(const char16_t* path) {
    m_fileName = path;
}

uint32_t CFile::GetLength() {
    uint32_t position = Seek(0, current);
    uint32_t length = Seek(0, end);
    Seek(static_cast<int32_t>(position), begin);
    return length;
}

uint32_t CFile::GetDirectBuffer(uint32_t, uint32_t, void**, void**) {
    return 0;
}
