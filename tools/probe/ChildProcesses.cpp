#include "ChildProcesses.h"

#include <winternl.h>

#include "JsonLine.h"

namespace {

// The command line a process was started with, read from its parameter block
// (empty when it cannot be read).
void ReadCommandLine(HANDLE process, wchar_t* text, size_t capacity) {
    text[0] = 0;
    PROCESS_BASIC_INFORMATION basic = {};
    PEB peb = {};
    RTL_USER_PROCESS_PARAMETERS parameters = {};
    if (!process ||
        NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0 ||
        !ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof peb, nullptr) ||
        !ReadProcessMemory(process, peb.ProcessParameters, &parameters, sizeof parameters, nullptr))
        return;
    size_t units = parameters.CommandLine.Length / sizeof(wchar_t);
    if (units >= capacity) units = capacity - 1;
    SIZE_T read = 0;
    if (ReadProcessMemory(process, parameters.CommandLine.Buffer, text, units * sizeof(wchar_t), &read))
        text[read / sizeof(wchar_t)] = 0;
}

}  // namespace

bool ChildProcesses::Known(DWORD processId) const {
    for (int i = 0; i < m_count; ++i)
        if (m_children[i].id == processId) return true;
    return false;
}

void ChildProcesses::ReportStarted(const ProcessTree& tree, DWORD elapsedMs) {
    for (int p = 1; p < tree.Count(); ++p) {
        // A process that is still starting has no image name yet; it is reported later.
        if (Known(tree.IdAt(p)) || m_count == 64 || !tree.NameAt(p)[0]) continue;
        Child& child = m_children[m_count++];
        child.id = tree.IdAt(p);
        child.process.reset(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE, FALSE, child.id));
        static wchar_t commandLine[32768];
        ReadCommandLine(child.process.get(), commandLine, 32768);
        JsonLine(elapsedMs, "process")
            .Add("name", tree.NameAt(p))
            .Add("pid", static_cast<long long>(child.id))
            .Add("cmdline", commandLine);
    }
}

void ChildProcesses::ReportEnded(const ProcessTree& tree, DWORD elapsedMs) {
    for (int i = 0; i < m_count; ++i) {
        Child& child = m_children[i];
        if (!child.id || tree.Contains(child.id)) continue;
        DWORD code = STILL_ACTIVE;
        if (child.process) {
            WaitForSingleObject(child.process.get(), 100);
            GetExitCodeProcess(child.process.get(), &code);
        }
        JsonLine line(elapsedMs, "ended");
        line.Add("pid", static_cast<long long>(child.id));
        if (code != STILL_ACTIVE) line.Add("code", static_cast<long long>(code));
        child.id = 0;
        child.process.reset();
    }
}
