#include "file/CFileException.h"

CFileException::CFileException(int32_t cause, int32_t osError, const char16_t* fileName)
    : m_cause(cause), m_osError(osError), m_fileName(fileName) {}

CFileException::~CFileException() = default;

bool CFileException::GetErrorMessage(char16_t* buffer, unsigned capacity, unsigned* /*helpContext*/) const {
    if (buffer == nullptr || capacity == 0) return true;
    WideString message;
    message.Format(u"Cause: %d, File Name: %s", m_cause,
                   m_fileName.IsEmpty() ? u"Unknown File" : m_fileName.c_str());
    // As lstrcpyn: at most capacity - 1 units, always terminated.
    size_t count = message.GetLength();
    if (count > capacity - 1) count = capacity - 1;
    for (size_t i = 0; i < count; ++i) buffer[i] = message[i];
    buffer[count] = 0;
    return true;
}

void ThrowFileException(int32_t cause, int32_t osError, const char16_t* fileName) {
    // The handler that catches the pointer deletes the object.
    throw new CFileException(cause, osError, fileName);
}

void ThrowOsError(int32_t osError, const char16_t* fileName) {
    if (osError == 0) return;
#ifdef _WIN32
    ThrowFileException(OsErrorToCause(osError), osError, fileName);
#else
    ThrowFileException(ErrnoToCause(osError), osError, fileName);
#endif
}
