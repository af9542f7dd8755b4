// The commands of sfxpack. Each checks what it is given, reports in words and exit
// statuses, and keeps the user's files whole (temporary outputs, signals); every
// byte of a package is read and written by SelfExtractor.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/sfxpack/cli/PackerOptions.h"

class CreateInputs;
class EntryVerdict;
class SelfExtractor;
class TemporaryFile;
class PackerProgress;
struct TocLocation;

class Packer {
public:
    explicit Packer(const PackerOptions& options) : m_options(options) {}
    // Runs the command and answers its exit status.
    int Run();

private:
    int Create();
    int List();
    int Extract();
    int Verify();
    // info, and list --json: with inspect every entry is checked and a database read.
    int Describe(bool inspect);

    // Reads the table of the package named on the command line, reporting a failure;
    // kExitOk when it was read (and found at *location, when asked).
    int OpenPackage(SelfExtractor& reader, TocLocation* location = nullptr);
    // create, in the order it runs: its inputs looked at and checked, the temporary
    // output, the installer's view of it, and its final name.
    int CheckCreateInputs(SelfExtractor& writer, CreateInputs& inputs);
    int WriteTemporary(SelfExtractor& writer, CreateInputs& inputs, TemporaryFile& output);
    int ReadBack(const SelfExtractor& writer, const WideString& path);
    int Publish(TemporaryFile& output);
    // extract: the entries asked for, and one entry through a temporary file beside
    // its final name.
    int SelectEntries(const SelfExtractor& reader, std::vector<int32_t>* selected);
    int ExtractOne(SelfExtractor& reader, EntryVerdict& verdict, int32_t index, const WideString& folder,
                   PackerProgress& progress);

    const PackerOptions& m_options;
};
