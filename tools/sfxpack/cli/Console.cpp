#include "tools/sfxpack/cli/Console.h"

#include <cstdio>

#include "base/Utf8.h"
#include "tools/sfxpack/cli/ProgressBar.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

ProgressBar* g_liveBar = nullptr;

void ClearLiveBar() {
    if (g_liveBar != nullptr) g_liveBar->Finish();
}

void WriteErrorLine(const std::string& line) {
    ClearLiveBar();
    std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace

void SetLiveBar(ProgressBar* bar) {
    g_liveBar = bar;
}

ProgressBar* LiveBar() {
    return g_liveBar;
}

void PrintOut(const std::string& text) {
    ClearLiveBar();
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void PrintError(const std::string& subject, const std::string& cause) {
    WriteErrorLine("sfxpack: " + subject + ": " + cause + "\n");
}

void PrintError(const WideString& subject, const std::string& cause) {
    PrintError(Printable(subject), cause);
}

void PrintWarning(const WideString& subject, const std::string& cause) {
    PrintError(subject, "warning: " + cause);
}

namespace {

// Units a terminal would act on instead of showing: C0, DEL, C1, and the bidirectional
// controls that reorder what follows them on the line.
bool IsTerminalControl(char16_t unit) {
    return unit < 0x20 || (unit >= 0x7F && unit <= 0x9F) || unit == 0x200E || unit == 0x200F ||
           (unit >= 0x202A && unit <= 0x202E) || (unit >= 0x2066 && unit <= 0x2069);
}

}  // namespace

std::string Printable(const WideString& text) {
    static const char16_t digits[] = u"0123456789abcdef";
    WideString clean;
    for (size_t i = 0; i < text.GetLength(); ++i) {
        const char16_t unit = text[i];
        if (!IsTerminalControl(unit)) {
            clean += unit;
        } else if (unit <= 0xFF) {
            clean += u"\\x";
            clean += digits[unit >> 4];
            clean += digits[unit & 15];
        } else {
            clean += u"\\u";
            for (int shift = 12; shift >= 0; shift -= 4) clean += digits[(unit >> shift) & 15];
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
    WriteErrorLine(line + "\n");
}
