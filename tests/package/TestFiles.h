// File helpers for the package tests, the same on the host and under Wine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/WideString.h"

// A fresh, empty folder under the system's temporary folder, removed with all
// it holds when the object goes.
class ScratchFolder {
public:
    ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder();
    const WideString& Path() const { return m_path; }
    // The folder path joined with name.
    WideString operator/(const char* name) const;

private:
    WideString m_path;
};

WideString Wide(const std::string& utf8);
std::string Narrow(const WideString& wide);
WideString JoinPath(const WideString& folder, const WideString& name);

void WriteBytes(const WideString& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadBytes(const WideString& path);
bool PathExists(const WideString& path);
uint64_t FileSize(const WideString& path);
void MakeFolder(const WideString& path);
// The names in folder, sorted, without . and ..
std::vector<std::string> ListFolder(const WideString& path);
// Makes the file read-only in a way that also binds the current user (as root on
// POSIX the immutable flag). False when this system gives no such protection.
bool MakeReadOnly(const WideString& path);
// A file of length bytes that takes no space (sparse where the file system can).
void MakeSparseFile(const WideString& path, uint64_t length);
void RemoveTree(const WideString& path);

// Deterministic bytes: random-looking (incompressible) or text-like (compressible).
std::vector<uint8_t> RandomBytes(size_t count, uint32_t seed);
std::vector<uint8_t> TextBytes(size_t count, uint32_t seed);
