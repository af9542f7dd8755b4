// The file an output is written to before it takes its final name: made beside that
// name (so the rename stays on one volume) under a name no one could guess, created
// exclusively (never over a file already there, never through a link, with the mode
// the umask gives), and removed on every path that does not publish it, an interrupt
// included.
#pragma once

#include "base/WideString.h"
#include "file/CFile.h"

struct FileFailure;

class TemporaryFile {
public:
    explicit TemporaryFile(const WideString& finalPath) : m_finalPath(finalPath) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() { Discard(); }

    // Creates the file and opens it for writing; false with the failure, which names
    // the final path, in *failure. A failed write through File() names the final
    // path too: the user never named the temporary one.
    bool Create(FileFailure* failure);
    CFile& File() { return m_file; }
    const WideString& GetPath() const { return m_path; }
    // Closes the file, keeping it; false when the close fails (its data may be lost),
    // with the failure in *failure.
    bool Close(FileFailure* failure);
    // Moves the closed file over the final name in one step (a link there is
    // replaced, not followed); false leaves the final name as it was.
    bool Publish();
    // Closes and removes the file, if there is one.
    void Discard();

private:
    WideString m_finalPath;
    WideString m_path;
    CFile m_file;
    int m_slot = -1;
};
