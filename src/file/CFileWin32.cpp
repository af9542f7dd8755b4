// The Win32 backend of CFile: one HANDLE from CreateFileW.
#include <windows.h>

#include "file/CFile.h"
#include "file/CFileException.h"

namespace {

DWORD DesiredAccess(uint32_t flags) {
    switch (flags & 0x3) {
        case CFile::accessRead:
            return GENERIC_READ;
        case CFile::accessWrite:
            return GENERIC_WRITE;
        case CFile::accessReadWrite:
            return GENERIC_READ | GENERIC_WRITE;
        default:
            return 0;  // the unnamed value 3
    }
}

// Exclusive, compatibility and the unnamed values 0x50, 0x60, 0x70 share nothing.
DWORD ShareMode(uint32_t flags) {
    switch (flags & 0x70) {
        case CFile::shareAllowRead:
            return FILE_SHARE_READ;
        case CFile::shareAllowWrite:
            return FILE_SHARE_WRITE;
        case CFile::shareAllowAll:
            return FILE_SHARE_READ | FILE_SHARE_WRITE;
        default:
            return 0;
    }
}

DWORD Disposition(uint32_t flags) {
    if (flags & CFile::createNew) return CREATE_NEW;
    if (!(flags & CFile::create)) return OPEN_EXISTING;
    return (flags & CFile::noTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;
}

const wchar_t* Wide(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}

int32_t LastError() {
    return static_cast<int32_t>(GetLastError());
}

}  // namespace

const CFile::Handle CFile::hFileNull = INVALID_HANDLE_VALUE;

uint32_t CFile::GetPosition() {
    // Cleared first: 0xFFFFFFFF with error 0 is a true position.
    SetLastError(0);
    DWORD position = SetFilePointer(m_hFile, 0, nullptr, FILE_CURRENT);
    if (position == INVALID_SET_FILE_POINTER) ThrowOsError(LastError(), nullptr);
    return position;
}

bool CFile::Open(const char16_t* path, uint32_t flags, CFileException* error) {
    // An owned handle would otherwise be lost and keep its file locked until the process ends.
    if (m_hFile != hFileNull && m_closeOnDelete) CloseHandle(m_hFile);
    m_closeOnDelete = 0;
    m_hFile = hFileNull;
    m_fileName = path;
    // Bit 0x8000 asks for nothing this layer does (a file is bytes, never text); it is
    // dropped so that no mapping below mistakes it for a flag it knows.
    flags &= ~0x8000u;

    SECURITY_ATTRIBUTES security;
    security.nLength = sizeof security;
    security.lpSecurityDescriptor = nullptr;
    security.bInheritHandle = (flags & noInherit) ? FALSE : TRUE;
    // A new file may be deleted while open: an interrupt then removes it at once.
    const DWORD share = ShareMode(flags) | ((flags & createNew) ? FILE_SHARE_DELETE : 0);
    HANDLE handle = CreateFileW(Wide(path), DesiredAccess(flags), share, &security, Disposition(flags),
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        if (error != nullptr) {
            error->m_osError = LastError();
            error->m_cause = OsErrorToCause(error->m_osError);
            error->m_fileName = path;
        }
        return false;
    }
    m_hFile = handle;
    m_closeOnDelete = 1;
    return true;
}

uint32_t CFile::Seek(int32_t distance, uint32_t origin) {
    SetLastError(0);
    DWORD position = SetFilePointer(m_hFile, distance, nullptr, origin);
    if (position == INVALID_SET_FILE_POINTER) ThrowOsError(LastError(), nullptr);
    return position;
}

void CFile::SetLength(uint32_t length) {
    Seek(static_cast<int32_t>(length), begin);
    if (!SetEndOfFile(m_hFile)) ThrowOsError(LastError(), nullptr);
}

uint32_t CFile::Read(void* buffer, uint32_t count) {
    if (count == 0) return 0;
    DWORD read = 0;
    if (!ReadFile(m_hFile, buffer, count, &read, nullptr)) ThrowOsError(LastError(), nullptr);
    return read;
}

void CFile::Write(const void* buffer, uint32_t count) {
    if (count == 0) return;
    DWORD written = 0;
    if (!WriteFile(m_hFile, buffer, count, &written, nullptr)) ThrowOsError(LastError(), m_fileName.c_str());
    if (written < count) ThrowFileException(CFileException::diskFull, -1, m_fileName.c_str());
}

void CFile::LockRange(uint32_t position, uint32_t count) {
    if (!LockFile(m_hFile, position, 0, count, 0)) ThrowOsError(LastError(), nullptr);
}

void CFile::UnlockRange(uint32_t position, uint32_t count) {
    if (!UnlockFile(m_hFile, position, 0, count, 0)) ThrowOsError(LastError(), nullptr);
}

void CFile::Abort() noexcept {
    if (m_hFile != hFileNull) {
        CloseHandle(m_hFile);
        m_hFile = hFileNull;
    }
    m_fileName.Empty();
}

void CFile::Flush() {
    if (m_hFile == hFileNull) return;
    if (!FlushFileBuffers(m_hFile)) ThrowOsError(LastError(), nullptr);
}

void CFile::Close() {
    int32_t error = 0;
    if (m_hFile != hFileNull && !CloseHandle(m_hFile)) error = LastError();
    m_hFile = hFileNull;
    m_closeOnDelete = 0;
    m_fileName.Empty();
    ThrowOsError(error, nullptr);
}

void CFile::Remove(const char16_t* path) {
    if (!DeleteFileW(Wide(path))) ThrowOsError(LastError(), nullptr);
}

void CFile::Rename(const char16_t* oldPath, const char16_t* newPath) {
    if (!MoveFileW(Wide(oldPath), Wide(newPath))) ThrowOsError(LastError(), nullptr);
}
