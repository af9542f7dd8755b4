// What `info` and `list --json` tell about a package file: the stub in front of
// it, its Authenticode signature and whether that covers the package, and each
// entry, with its checksum state and, for an installer database, its product.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/WideString.h"
#include "tools/sfxpack/commands/EntryVerdict.h"
#include "tools/sfxpack/formats/MsiProduct.h"

class SelfExtractor;
struct PackerOptions;
struct TocLocation;

struct EntryInfo {
    int32_t index = 0;
    WideString name;
    uint32_t size = 0;
    uint32_t compressedSize = 0;
    uint32_t offset = 0;
    std::optional<EntryVerdict> verdict;  // once it has been checked
    bool isDatabase = false;
    MsiProduct product;
    // Why an entry that looks like an installer database cannot be read as one.
    std::string databaseProblem;
};

struct PackageInfo {
    WideString file;
    uint32_t stubSize = 0;
    bool isSigned = false;
    // The certificate table starts at or after the package's last byte, so the
    // signature's hash covers the whole package.
    bool signatureCoversPackage = false;
    std::vector<EntryInfo> entries;

    // Reads what the table and the headers say about reader's package, its table read
    // already and found at location.
    void Collect(const SelfExtractor& reader, const TocLocation& location);
    // Judges every entry as verify does, inflating it, and opens a database among them;
    // an entry that cannot be read and a database that cannot be opened are printed as
    // they are met, and with verbose each step.
    void Inspect(SelfExtractor& reader, bool showProgress, bool verbose);
    std::string Json() const;
    std::string Text() const;
    // The exit status of the first entry whose verdict is not good, else kExitRefused when
    // a database in the package cannot be read (the installer would fail on it), else
    // kExitOk.
    int Status() const;
};

// info (inspect) and list --json on the options' package.
int DescribePackage(const PackerOptions& options, bool inspect);
