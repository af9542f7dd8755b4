// File helpers for tests that go straight to the system, so that the file and package
// layers are never checked against themselves; the same on the host and under Wine.
// Each failure names the path and the system's reason, is recorded at the caller's
// line and ends the test (the helpers throw std::runtime_error).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/WideString.h"
#include "support/CallSite.h"

WideString Wide(const std::string& utf8);
std::string Narrow(const WideString& wide);
WideString JoinPath(const WideString& folder, const WideString& name);
// The system's reason for the call that just failed.
std::string LastSystemError();

// Whole files, created or truncated: as bytes, or as the bytes of a std::string.
void WriteBytes(const WideString& path, const std::vector<uint8_t>& bytes, CallSite at = {});
std::vector<uint8_t> ReadBytes(const WideString& path, CallSite at = {});
void WriteString(const WideString& path, const std::string& bytes, CallSite at = {});
std::string ReadString(const WideString& path, CallSite at = {});

// Whether anything stands at path; a link counts, whatever it points to.
bool PathExists(const WideString& path);
uint64_t FileSize(const WideString& path, CallSite at = {});
void MakeFolder(const WideString& path, CallSite at = {});
// The names in the folder, sorted, without . and ..
std::vector<std::string> ListFolder(const WideString& path, CallSite at = {});
// Makes the file read-only in a way that also binds the current user (as root on
// POSIX the immutable flag). False when this system gives no such protection.
bool MakeReadOnly(const WideString& path, CallSite at = {});
// A file of length bytes that takes no space (sparse where the file system can).
void MakeSparseFile(const WideString& path, uint64_t length, CallSite at = {});
// Removes a file, or a folder with all it holds, read-only or not; links are removed,
// never followed. Nothing at path is no failure; anything left behind is.
void RemoveTree(const WideString& path, CallSite at = {});

// Deterministic bytes: random-looking (incompressible) or text-like (compressible).
std::vector<uint8_t> RandomBytes(size_t count, uint32_t seed);
std::vector<uint8_t> TextBytes(size_t count, uint32_t seed);
