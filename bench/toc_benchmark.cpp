// The table-of-contents search on a signed-installer layout: the trailer sits
// 64 KiB before the end, so the search reads about 130 windows first.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/Utf8.h"
#include "package/SelfExtractor.h"

namespace {

std::string MakeInstaller() {
    std::vector<uint8_t> bytes(1 << 20, 0x90);  // the stub
    const uint8_t record[] = {0, 0, 0x10, 0, 0x40, 0, 0, 0, 0x20, 0, 0, 0,
                              'S', 0, 'e', 0, 't', 0, 'u', 0, 'p', 0, '.', 0, 'm', 0, 's', 0, 'i', 0,
                              9, 0, 0, 0, 1, 0, 0, 0, '2', '.', '0', '0'};
    bytes.insert(bytes.end(), record, record + sizeof record);
    for (uint8_t b : kPackageMarker) bytes.push_back(b);
    for (size_t i = 0; i < 64 * 1024; ++i) bytes.push_back(static_cast<uint8_t>(i * 131 + 7));
    std::string path = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/sfx-bench-toc.exe";
    FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    return path;
}

void ReadTableOfContentsBehind64KiB(benchmark::State& state) {
    static const std::string path = MakeInstaller();
    const WideString widePath = WideFromUtf8(path);
    SelfExtractor extractor(widePath);
    for (auto _ : state) {
        if (extractor.ReadTableOfContents(widePath) != SFX_OK || extractor.m_entryCount != 1) {
            state.SkipWithError("table not found");
            break;
        }
    }
}
BENCHMARK(ReadTableOfContentsBehind64KiB)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
