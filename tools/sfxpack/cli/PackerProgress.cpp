#include "tools/sfxpack/cli/PackerProgress.h"

#include <algorithm>

#include "package/PackageEntry.h"
#include "tools/sfxpack/cli/Console.h"
#include "tools/sfxpack/cli/Figures.h"

void PackerProgress::Begin(const PackageEntry& entry, uint64_t total) {
    m_entry = total;
    m_item = Printable(entry.name);
    if (m_step != nullptr) PrintNote(std::string(m_step) + " " + m_item + " (" + Bytes(total) + ")");
    m_bar.Show(m_done, m_total, m_item);
}

void PackerProgress::Advance(uint64_t consumed) {
    m_bar.Show(m_done + std::min(consumed, m_entry), m_total, m_item);
}

void PackerProgress::End(const PackageEntry&) {
    m_done += m_entry;
    m_entry = 0;
    m_bar.Show(m_done, m_total, m_item);
}
