// Overall progress of a command over several entries, in bytes, as the package layer
// reports it: drawn on the bar, and with -v each entry noted as it begins.
#pragma once

#include <cstdint>
#include <string>

#include "package/EntryProgress.h"
#include "tools/sfxpack/cli/ProgressBar.h"

class PackerProgress : public EntryProgress {
public:
    // total: the sum of what every entry's Begin will announce. step: with -v, the
    // word each entry is noted with ("packing"); nullptr notes nothing.
    PackerProgress(bool enabled, const char* step, uint64_t total)
        : m_bar(enabled), m_step(step), m_total(total) {}

    void Begin(const PackageEntry& entry, uint64_t total) override;
    void Advance(uint64_t consumed) override;
    void End(const PackageEntry& entry) override;

private:
    ProgressBar m_bar;
    const char* m_step;
    uint64_t m_total;      // the sum of all entries' totals
    uint64_t m_done = 0;   // the totals of the entries ended
    uint64_t m_entry = 0;  // the current entry's total
    std::string m_item;
};
