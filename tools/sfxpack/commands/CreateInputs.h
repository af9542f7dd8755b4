// What create learns of its inputs, each looked at once (opened, measured, named, its
// first bytes read; a database's product read from it), and carries to the checks,
// the writing and the product line: the one record of each. The writer takes the
// files as they are here, open, named and measured, and finds out nothing again.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "base/WideString.h"
#include "file/CFile.h"
#include "tools/sfxpack/formats/MsiProduct.h"
#include "tools/sfxpack/formats/PeImage.h"

struct PackerOptions;

class CreateInputs {
public:
    struct Stub {
        WideString path;  // empty for a bare package
        CFile file;       // open from the look until its copy is written
        uint32_t size = 0;
        StubSignature signature = StubSignature::kNotPe;
    };
    struct File {
        WideString path;
        WideString name;          // its entry name
        CFile file;               // open from the look, at its start, until it is written
        uint64_t size = 0;        // above any limit when no 32-bit seek reaches its end
        bool isDatabase = false;  // begins with the compound-file signature
        bool productRead = false;
        MsiProduct product;
        std::string productProblem;  // why a database's product could not be read
    };

    CreateInputs() = default;
    CreateInputs(const CreateInputs&) = delete;
    CreateInputs& operator=(const CreateInputs&) = delete;

    // Each takes one input of options, refusing what create cannot pack: kExitOk, or
    // the exit status after one error line naming the file.
    int LookAtStub(const PackerOptions& options);
    int LookAtFile(const WideString& path, const PackerOptions& options);
    // Reads the product of every installer database among the files.
    void ReadProducts();
    // The product line of every database on stdout; an error line for one whose
    // product could not be read.
    void PrintProducts() const;

    // The sum of the files' sizes.
    uint64_t TotalSize() const;

    Stub stub;
    std::deque<File> files;  // a deque: a File, holding its open file, never moves
};
