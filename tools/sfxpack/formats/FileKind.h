// What a file is, told before anything runs it or reads it as a package: an installer
// of ours (a 32-bit Windows program with a package behind it), a file that cannot be
// read, no Windows program, a Windows program without a package of ours, or one cut
// short (a Windows program whose data behind its image begins as a package's does,
// but whose package has no intact end: a download that stopped early).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "base/WideString.h"

class CFile;
class PeImage;

class FileKind {
public:
    enum Kind { kInstaller, kUnreadable, kNotWindows, kNotOurs, kCutShort };

    // Opens and measures the file at path and searches it for its package.
    static FileKind Of(const WideString& path);
    // What a file of size bytes is whose package search found none: cut short, or no
    // installer of ours at all.
    static FileKind WithoutPackage(CFile& file, uint64_t size);

    Kind kind = kUnreadable;
    std::string words;             // one line saying what it is, after the file's name
    std::optional<uint64_t> size;  // its length, where it could be had

    // "installer", "unreadable", "not-windows", "not-ours" or "cut-short".
    const char* Name() const;
    // {"kind": Name(), "words": words, "size": size or null}, on one line.
    std::string Json() const;

private:
    // A Windows program that carries no package of ours.
    static FileKind NotOurs(const PeImage& image, std::optional<uint64_t> size);
    FileKind(Kind kind, std::string words, std::optional<uint64_t> size)
        : kind(kind), words(std::move(words)), size(size) {}
};
