#include "tools/sfxpack/cli/SystemText.h"

#include "base/Utf8.h"
#include "file/CFileException.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#endif

namespace {

// The system's errors that stand for the causes a failure may come with alone.
#ifdef _WIN32
constexpr int32_t kDiskFull = ERROR_DISK_FULL;
constexpr int32_t kAccessDenied = ERROR_ACCESS_DENIED;
constexpr int32_t kHardIO = ERROR_IO_DEVICE;
#else
constexpr int32_t kDiskFull = ENOSPC;
constexpr int32_t kAccessDenied = EACCES;
constexpr int32_t kHardIO = EIO;
#endif

// The system's error that a cause stands for when none came with it; 0 for none.
int32_t ErrorOfCause(int32_t cause) {
    return cause == CFileException::diskFull       ? kDiskFull
           : cause == CFileException::accessDenied ? kAccessDenied
           : cause == CFileException::hardIO       ? kHardIO
                                                   : 0;
}

std::string SystemText(int32_t osError) {
#ifdef _WIN32
    wchar_t text[512];
    DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(osError), 0, text, sizeof text / sizeof text[0], nullptr);
    // The text ends in a period and a line end, which a one-line message does without.
    while (length > 0 && (text[length - 1] == L'\n' || text[length - 1] == L'\r' ||
                          text[length - 1] == L' ' || text[length - 1] == L'.')) {
        --length;
    }
    return Utf8FromWide(WideString(text, length));
#else
    return std::strerror(osError);
#endif
}

}  // namespace

std::string SystemReason(int32_t cause, int32_t osError) {
    const int32_t error = osError > 0 ? osError : ErrorOfCause(cause);
    if (error <= 0) return "failed (cause " + std::to_string(cause) + ", no system error)";
    const std::string text = SystemText(error);
    return text.empty() ? "system error " + std::to_string(error) : text;
}
