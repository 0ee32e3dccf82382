#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Text for a terminal: columns counted in code points, and content from transcripts made
// harmless before it is printed.
namespace PlainText {

// The columns `s` takes: its code points.
std::size_t width(std::string_view s);
// `s` filled with spaces to `columns` code points (left as it is when already wider).
std::string padRight(std::string s, std::size_t columns);
std::string padLeft(std::string s, std::size_t columns);

// `s` with nothing a terminal would act on: C0 controls and DEL shown as \xNN, C1 controls and
// bidirectional controls (U+202E and its kin) as \uNNNN, and bytes that are not UTF-8 as U+FFFD.
// Escape sequences, carriage returns, line feeds and overrides in a model name can then neither
// recolour the terminal nor forge or reorder lines.
std::string visible(std::string_view s);

} // namespace PlainText
