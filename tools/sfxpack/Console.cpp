#include "tools/sfxpack/Console.h"

#include <cstdio>

#include "base/Utf8.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

void PrintOut(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void PrintError(const std::string& subject, const std::string& cause) {
    const std::string line = "sfxpack: " + subject + ": " + cause + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
}

void PrintError(const WideString& subject, const std::string& cause) { PrintError(Printable(subject), cause); }

std::string Printable(const WideString& text) {
    WideString clean;
    for (size_t i = 0; i < text.GetLength(); ++i) {
        const char16_t unit = text[i];
        if (unit < 0x20 || unit == 0x7F) {
            static const char16_t digits[] = u"0123456789abcdef";
            clean += u"\\x";
            clean += digits[unit >> 4];
            clean += digits[unit & 15];
        } else {
            clean += unit;
        }
    }
    return Utf8FromWide(clean);
}

bool StderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

void PrintNote(const std::string& line) {
    const std::string text = line + "\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
}
