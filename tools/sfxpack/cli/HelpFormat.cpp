#include "tools/sfxpack/cli/HelpFormat.h"

#include <cstdint>

#include "package/PackageFormat.h"
#include "package/writer/ParallelDeflater.h"
#include "package/writer/ZopfliChunkDeflater.h"
#include "tools/sfxpack/cli/Figures.h"
#include "tools/sfxpack/cli/PackerOptions.h"

namespace {

std::string Figure(const std::string& name) {
    if (name == "files") return std::to_string(kMaxEntries);
    if (name == "limit") return BinarySize(uint64_t{kMaxPackageLength} + 1);
    if (name == "threads") return std::to_string(ParallelDeflater::kMaxThreads);
    if (name == "level") return std::to_string(kDefaultDeflateLevel);
    if (name == "zopfli") return std::to_string(ParallelDeflater::kZopfliLevel);
    if (name == "iterations") return std::to_string(ZopfliChunkDeflater::kDefaultIterations);
    if (name == "max-iterations") return std::to_string(ZopfliChunkDeflater::kMaxIterations);
    if (name == "chunk") return BinarySize(ParallelDeflater::kChunkLength);
    if (name == "zopfli-chunk") return BinarySize(ParallelDeflater::kZopfliChunkLength);
    if (name == "timeout") return std::to_string(kTryDefaultTimeout);
    return "{" + name + "}";  // a typo shows in the help, and the tests catch it there
}

}  // namespace

std::string Expand(const std::string& text) {
    std::string out;
    for (size_t at = 0; at < text.size();) {
        const size_t open = text.find('{', at);
        const size_t close = open == std::string::npos ? open : text.find('}', open);
        if (close == std::string::npos) {
            out += text.substr(at);
            break;
        }
        out += text.substr(at, open - at) + Figure(text.substr(open + 1, close - open - 1));
        at = close + 1;
    }
    return out;
}

std::string Wrap(const std::string& text, const std::string& first, size_t indent) {
    const std::string words = Expand(text);
    std::string out;
    std::string line = first;
    bool empty = true;  // no word on the line yet
    for (size_t at = 0; at <= words.size();) {
        size_t end = words.find(' ', at);
        if (end == std::string::npos) end = words.size();
        const std::string word = words.substr(at, end - at);
        at = end + 1;
        if (word.empty()) continue;
        if (!empty && line.size() + 1 + word.size() > kHelpWidth) {
            out += line + "\n";
            line = std::string(indent, ' ');
            empty = true;
        }
        line += (empty ? "" : " ") + word;
        empty = false;
    }
    return out + line + "\n";
}
