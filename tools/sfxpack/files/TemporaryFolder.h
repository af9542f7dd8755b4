// A private folder for files sfxpack must write only to read them back (a
// database to open with the installer library): created exclusively under an
// unpredictable name in the user's temporary folder, readable by the user alone,
// and removed with what it holds on every path, an interrupt included.
#pragma once

#include "base/WideString.h"

class TemporaryFolder {
public:
    TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    ~TemporaryFolder();

    // False when no folder could be made.
    bool IsReady() const { return !m_path.IsEmpty(); }
    const WideString& GetPath() const { return m_path; }
    // The path of the one file the folder is to take, removed with it; a second call
    // forgets the first file.
    WideString PathFor(const WideString& name);

private:
    WideString m_path;
    WideString m_file;
    int m_folderSlot = -1;  // where SignalCleanup keeps each path
    int m_fileSlot = -1;
};
