// A thin object around one file handle: a Windows HANDLE in the Win32 backend,
// a file descriptor in the POSIX backend, with one interface and the same semantics.
// Every operation but Open and Abort throws CFileException* on failure.
// Positions, lengths and counts are 32-bit; seek distances are signed 32-bit.
#pragma once

#include <cstdint>

#include "base/WideString.h"

class CFileException;

class CFile {
public:
#ifdef _WIN32
    typedef void* Handle;
#else
    typedef intptr_t Handle;
#endif
    static const Handle hFileNull;  // all bits set

    enum OpenFlags : uint32_t {
        accessRead = 0x0000,
        accessWrite = 0x0001,
        accessReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareAllowRead = 0x0020,
        shareAllowWrite = 0x0030,
        shareAllowAll = 0x0040,
        noInherit = 0x0080,
        create = 0x1000,
        noTruncate = 0x2000,
        // A new file only: fails on any name already taken, a link included, so a
        // file another user planted is never written through (create is ignored).
        createNew = 0x10000,
    };
    enum SeekOrigin : uint32_t { begin = 0, current = 1, end = 2 };

    CFile() noexcept;
    explicit CFile(Handle handle) noexcept;       // adopts without owning
    CFile(const char16_t* path, uint32_t flags);  // throws on failure
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Virtual operations, in the order of the class's table.
    virtual uint32_t GetPosition();
    virtual void SetFileName(const char16_t* path);
    virtual bool Open(const char16_t* path, uint32_t flags, CFileException* error = nullptr);
    virtual uint32_t Seek(int32_t distance, uint32_t origin);
    virtual void SetLength(uint32_t length);
    virtual uint32_t GetLength();
    virtual uint32_t Read(void* buffer, uint32_t count);
    virtual void Write(const void* buffer, uint32_t count);
    virtual void LockRange(uint32_t position, uint32_t count);
    virtual void UnlockRange(uint32_t position, uint32_t count);
    virtual void Abort() noexcept;
    virtual void Flush();
    virtual void Close();
    virtual ~CFile();
    virtual uint32_t GetDirectBuffer(uint32_t command, uint32_t count, void** start, void** end);

    static void Remove(const char16_t* path);
    static void Rename(const char16_t* oldPath, const char16_t* newPath);

    bool IsOpen() const noexcept {
        return m_hFile != hFileNull;
    }

    Handle m_hFile;
    int32_t m_closeOnDelete;
    WideString m_fileName;
};
