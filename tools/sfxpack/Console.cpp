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

void ProgressBar::Show(uint64_t done, uint64_t total, const std::string& item) {
    if (!m_enabled) return;
    const int permille = total == 0 ? 1000 : static_cast<int>(done >= total ? 1000 : done * 1000 / total);
    if (permille == m_lastPermille && item == m_lastItem) return;
    m_lastPermille = permille;
    m_lastItem = item;
    const int width = 30;
    const int filled = permille * width / 1000;
    std::string bar = "\r" + std::string(static_cast<size_t>(filled), '#') +
                      std::string(static_cast<size_t>(width - filled), '.');
    char percent[16];
    std::snprintf(percent, sizeof percent, " %3d%% ", permille / 10);
    std::string line = "[" + bar.substr(1) + "]" + percent + item.substr(0, 40);
    line = "\r" + line + "\x1b[K";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    m_shown = true;
}

void ProgressBar::Finish() {
    if (m_enabled && m_shown) {
        std::fputs("\r\x1b[K", stderr);
        std::fflush(stderr);
    }
    m_shown = false;
}
