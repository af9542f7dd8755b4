// What `info` and `list --json` tell about a package file: the stub in front of
// it, its Authenticode signature and whether that covers the package, and each
// entry, with its checksum state and, for an installer database, its product.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/WideString.h"
#include "tools/sfxpack/MsiProduct.h"

class SelfExtractor;
struct PackerOptions;

struct EntryInfo {
    enum class Check { kNotChecked, kOk, kDamaged, kUnreadable };
    int32_t index = 0;
    WideString name;
    uint32_t size = 0;
    uint32_t compressedSize = 0;
    uint32_t offset = 0;
    Check check = Check::kNotChecked;
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

    // Reads what the table and the headers say about reader's package (its table
    // read already). With inspect, every entry is also inflated and checked and a
    // database among them opened; problems are printed as they are met, and with
    // verbose each step.
    void Collect(SelfExtractor& reader, bool inspect, bool showProgress, bool verbose);
    std::string Json() const;
    std::string Text() const;
    // kExitDamaged when an entry failed its check, kExitCannotRead when the package
    // could not be read, kExitRefused when a database in it cannot be read (the
    // installer would fail on it), else kExitOk.
    int Status() const;
};

// "NAME: product ProductName ProductVersion, Manufacturer, ProductCode", the
// line create and info print for an installer database.
std::string ProductNote(const WideString& name, const MsiProduct& product);
// That line on stdout for every installer database among files.
void PrintProducts(const std::vector<WideString>& files);

// The info command and list --json on reader's package.
int ShowPackageInfo(const PackerOptions& options, SelfExtractor& reader, bool inspect);
