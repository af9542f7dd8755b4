// libFuzzer target: arbitrary bytes as a package file, extracted with ExtractAll
// into a folder three levels below the scratch root. Nothing may appear anywhere
// but inside that folder, and only plain files named as the reader allows.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "base/Utf8.h"
#include "package/SelfExtractor.h"
#include "package/reader/EntryName.h"

namespace {

std::set<std::string> List(const std::string& folder) {
    std::set<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.insert(name);
        }
        closedir(dir);
    }
    return names;
}

struct Scratch {
    std::string root;
    std::string package;
    std::string dest;
    Scratch() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && *base != 0 ? base : "/tmp") + "/sfxfuzz-XXXXXX";
        if (mkdtemp(&pattern[0]) == nullptr) std::abort();
        root = pattern;
        package = root + "/package.bin";
        mkdir((root + "/a").c_str(), 0700);
        mkdir((root + "/a/b").c_str(), 0700);
        dest = root + "/a/b/out";
        mkdir(dest.c_str(), 0700);
    }
    ~Scratch() {
        for (const std::string& name : List(dest)) unlink((dest + "/" + name).c_str());
        rmdir(dest.c_str());
        rmdir((root + "/a/b").c_str());
        rmdir((root + "/a").c_str());
        unlink(package.c_str());
        rmdir(root.c_str());
    }
};

Scratch& TheScratch() {
    static Scratch scratch;
    return scratch;
}

void Expect(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "extract_fuzzer: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Scratch& s = TheScratch();
    FILE* file = std::fopen(s.package.c_str(), "wb");
    Expect(file != nullptr, "cannot write the package");
    if (size > 0) std::fwrite(data, 1, size, file);
    std::fclose(file);

    SelfExtractor extractor(WideFromUtf8(s.package));
    const int32_t result = extractor.ExtractAll(WideFromUtf8(s.dest), nullptr, 0);
    Expect(result == SFX_OK || result == SFX_ERR_WRITE || result == SFX_ERR_BAD_PACKAGE ||
               result == SFX_ERR_NO_ENTRIES,
           "unexpected result");

    Expect(List(s.root) == std::set<std::string>{"a", "package.bin"}, "something appeared beside the package");
    Expect(List(s.root + "/a") == std::set<std::string>{"b"}, "something appeared two levels up");
    Expect(List(s.root + "/a/b") == std::set<std::string>{"out"}, "something appeared one level up");
    for (const std::string& name : List(s.dest)) {
        const std::string path = s.dest + "/" + name;
        struct stat info;
        Expect(lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode), "not a plain file");
        Expect(IsValidEntryName(WideFromUtf8(name)), "a name the reader refuses");
        // Only complete entries stay, each exactly as long as its record says.
        bool matched = false;
        for (int32_t i = 0; i < extractor.m_entryCount; ++i) {
            const PackageEntry& e = extractor.m_entries[i];
            if (Utf8FromWide(e.name) == name && e.size == static_cast<uint64_t>(info.st_size)) matched = true;
        }
        Expect(matched, "a file that no entry accounts for");
        unlink(path.c_str());
    }
    return 0;
}
