#include "JsonLine.h"

#include <cstdio>

JsonLine::JsonLine(DWORD elapsedMs, const char* event) : m_length(0) {
    char head[96];
    std::snprintf(head, sizeof head, "{\"t\":%lu,\"event\":\"%s\"", static_cast<unsigned long>(elapsedMs),
                  event);
    Raw(head);
}

JsonLine::~JsonLine() {
    Raw("}\n");
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), m_buffer, static_cast<DWORD>(m_length), &written, nullptr);
}

JsonLine& JsonLine::Add(const char* key, const wchar_t* text) {
    Key(key);
    Raw("\"");
    Utf8(text ? text : L"");
    Raw("\"");
    return *this;
}

JsonLine& JsonLine::Add(const char* key, long long number) {
    Key(key);
    char digits[32];
    std::snprintf(digits, sizeof digits, "%lld", number);
    Raw(digits);
    return *this;
}

JsonLine& JsonLine::Add(const char* key, bool value) {
    Key(key);
    Raw(value ? "true" : "false");
    return *this;
}

JsonLine& JsonLine::AddNull(const char* key) {
    Key(key);
    Raw("null");
    return *this;
}

void JsonLine::Key(const char* key) {
    Raw(",\"");
    Raw(key);
    Raw("\":");
}

void JsonLine::Raw(const char* text) {
    // Room is kept for the closing brace and newline.
    while (*text && m_length + 3 < sizeof m_buffer) m_buffer[m_length++] = *text++;
}

void JsonLine::Utf8(const wchar_t* text) {
    for (; *text; ++text) {
        wchar_t c = *text;
        char escaped[8] = {};
        if (c == L'"' || c == L'\\') {
            escaped[0] = '\\';
            escaped[1] = static_cast<char>(c);
        } else if (c < 0x20) {
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
        } else if (c < 0x80) {
            escaped[0] = static_cast<char>(c);
        } else {
            // Surrogate pairs are copied as a pair so the UTF-8 stays valid.
            int units = (c >= 0xD800 && c <= 0xDBFF && text[1]) ? 2 : 1;
            WideCharToMultiByte(CP_UTF8, 0, text, units, escaped, sizeof escaped - 1, nullptr, nullptr);
            text += units - 1;
        }
        Raw(escaped);
    }
}
