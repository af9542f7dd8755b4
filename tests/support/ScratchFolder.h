// A fresh, empty folder under the system's temporary folder for one test, removed
// with all it holds when the object goes; what cannot be removed is a test failure.
#pragma once

#include "base/WideString.h"
#include "support/CallSite.h"

class ScratchFolder {
public:
    // The folder's name starts with prefix and ends in something unique.
    explicit ScratchFolder(const char* prefix = "sfxtest-", CallSite at = {});
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder();

    const WideString& Path() const { return m_path; }
    // The folder's path joined with name (UTF-8 or UTF-16).
    WideString operator/(const char* name) const;
    WideString operator/(const char16_t* name) const;

private:
    WideString m_path;
    CallSite m_made;  // where a removal that fails is reported
};
