// Puts a file of the test's choosing at the system's msiexec path for the life of the
// object and the real msiexec back afterwards. Wine runs the file found there only
// when told to prefer it to its own builtin msiexec; the object tells it (the
// session's DllOverrides) and takes that back too. The prefix is shared: every test
// that runs msiexec holds the same CTest lock.
#pragma once

#include <string>

class SystemInstallerStandIn {
public:
    // replacement: the program to put there; nullptr puts a file that is no program.
    explicit SystemInstallerStandIn(const wchar_t* replacement);
    ~SystemInstallerStandIn();
    SystemInstallerStandIn(const SystemInstallerStandIn&) = delete;
    SystemInstallerStandIn& operator=(const SystemInstallerStandIn&) = delete;

    bool IsReady() const { return m_ready; }
    // The folder this test program lies in, with a closing backslash.
    static std::wstring OwnFolder();

private:
    std::wstring m_path;
    std::wstring m_saved;
    bool m_ready = false;
};
