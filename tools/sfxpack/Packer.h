// The commands of sfxpack, each a thin front over SelfExtractor.
#pragma once

#include <cstdint>

#include "tools/sfxpack/PackerOptions.h"

class CFile;
class SelfExtractor;
class TemporaryFile;
struct PackerProgress;

class Packer {
public:
    explicit Packer(const PackerOptions& options) : m_options(options) {}
    // Runs the command and answers its exit status.
    int Run();

private:
    int Create();
    int List();
    int Extract();

    // create, in the order it runs: the checks of what it was given, the temporary
    // output, the installer's view of it, and its final name.
    int CheckCreateInputs(SelfExtractor& writer, uint64_t* totalSize);
    int WriteTemporary(SelfExtractor& writer, uint64_t totalSize, TemporaryFile& output);
    int CopyStub(CFile& output);
    int ReadBack(const SelfExtractor& writer, const WideString& path);
    int Publish(TemporaryFile& output);
    // extract: one entry, through a temporary file beside its final name.
    int ExtractOne(SelfExtractor& reader, int32_t index, const WideString& folder, PackerProgress& progress);
    int Verify();
    // info, and list --json: with inspect every entry is checked and a database read.
    int Describe(bool inspect);

    const PackerOptions& m_options;
};
