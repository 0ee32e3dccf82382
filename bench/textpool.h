#pragma once

#include "random.h"

#include <string>
#include <string_view>
#include <vector>

// Ready-escaped pieces of JSON string content: source code, tool output, prose in several
// scripts. Transcripts are made by gluing whole pieces together, which keeps every escape
// sequence and UTF-8 character intact and makes a gigabyte cheap to write.
class TextPool
{
public:
    explicit TextPool(Random &random);

    // Appends about `bytes` bytes (never less) of tool output: code, logs, listings, paths
    // with backslashes, quoted JSON, escaped and raw non-ASCII text, many escaped newlines.
    void appendOutput(std::string &out, std::size_t bytes);
    // Appends about `bytes` bytes of prose, as a prompt or a reply would hold.
    void appendProse(std::string &out, std::size_t bytes);
    // One identifier-like word, unescaped and plain ASCII.
    const std::string &word();
    // A path below the project, plain ASCII.
    std::string path(const std::string &cwd);

private:
    // Fills a template: {w} a word, {i} an identifier, {n} a number, {p} a relative path.
    std::string expand(std::string_view pattern);
    std::string makeOutputPiece();
    std::string makeProsePiece();
    std::string identifier();

    Random &m_random;
    std::vector<std::string> m_words;
    std::vector<std::string> m_output;
    std::vector<std::string> m_prose;
};
