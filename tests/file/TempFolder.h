// A fresh folder for one test, removed with everything in it at the end, and plain
// file helpers that go straight to the system, so that tests of CFile do not check
// CFile against itself.
#pragma once

#include <string>

#include "base/WideString.h"

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const WideString& Path() const { return m_path; }
    // The folder's path joined with name.
    WideString File(const char16_t* name) const;

private:
    WideString m_path;
};

// The path separator of the platform.
extern const char16_t* const kSeparator;

void WriteFileBytes(const WideString& path, const std::string& bytes);
std::string ReadFileBytes(const WideString& path);
bool FileExists(const WideString& path);
