// The commands of sfxpack, each a thin front over SelfExtractor.
#pragma once

#include "tools/sfxpack/PackerOptions.h"

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

    const PackerOptions& m_options;
};
