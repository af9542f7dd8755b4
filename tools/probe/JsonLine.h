// One JSON object per line on stdout, flushed at once, so a driver can react to
// each event while the probe goes on watching.
#pragma once

#include <windows.h>

class JsonLine {
public:
    JsonLine(DWORD elapsedMs, const char* event);
    JsonLine(const JsonLine&) = delete;
    JsonLine& operator=(const JsonLine&) = delete;
    ~JsonLine();  // writes the line

    JsonLine& Add(const char* key, const wchar_t* text);
    JsonLine& Add(const char* key, long long number);
    JsonLine& Add(const char* key, bool value);
    JsonLine& AddNull(const char* key);

private:
    void Key(const char* key);
    void Raw(const char* text);
    void Utf8(const wchar_t* text);

    char m_buffer[8192];
    size_t m_length;
};
