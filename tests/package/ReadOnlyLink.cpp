// Links what the installer stub uses of the package layer, and nothing more, so
// that a test can prove no deflate code comes with it.
#include "package/SelfExtractor.h"

#ifdef _WIN32
int wmain() {
#else
int main() {
#endif
    SelfExtractor extractor;
    if (extractor.ReadTableOfContents(extractor.GetPackagePath()) != SFX_OK) return 1;
    if (extractor.m_entryCount != 1) return 2;
    return extractor.ExtractEntry(0, extractor.GetEntry(0).GetName(), false) == SFX_OK ? 0 : 3;
}
