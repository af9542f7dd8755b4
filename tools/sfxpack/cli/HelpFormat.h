// The layout of sfxpack's help: its limits and defaults put into the words from the
// constants that hold them, and paragraphs wrapped to the help's width.
#pragma once

#include <string>

// The help's width in columns.
constexpr size_t kHelpWidth = 86;

// text with each {name} replaced by the figure it names: {files} (entries a package
// holds at most), {limit} (the size a package stays below), {threads}, {level},
// {zopfli}, {iterations}, {max-iterations}, {chunk}, {zopfli-chunk}, {timeout}.
std::string Expand(const std::string& text);
// text expanded and wrapped at spaces into lines of at most kHelpWidth columns, the
// first beginning with first, the others indented by indent spaces; each line ends in
// a newline.
std::string Wrap(const std::string& text, const std::string& first, size_t indent);
