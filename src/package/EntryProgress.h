// Where the packer's reading and writing of an entry report how far they are, in the
// bytes they have consumed: the encoder and the inflate loop on one side, the progress
// bar on the other. (The installer's callback of percentages is the specified
// interface of ExtractAll, CreatePackage and WritePackage; the writer serves it through
// this one.)
#pragma once

#include <cstdint>

class PackageEntry;

class EntryProgress {
public:
    virtual ~EntryProgress() = default;
    // entry, the one in the table, is about to be read or written; Advance counts up
    // to total bytes (its source's length when it is written, its stream's when read).
    virtual void Begin(const PackageEntry& entry, uint64_t total) = 0;
    // consumed of those bytes are done; never less than the call before.
    virtual void Advance(uint64_t consumed) = 0;
    // entry is done, whole (a failed entry gets no End).
    virtual void End(const PackageEntry& entry) = 0;
};
