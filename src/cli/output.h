#pragma once

#include <string_view>

// The report's one way to standard output.
namespace Output {

// Writes `text` at once. On failure (a full disk, a reader gone) says so in one line on standard
// error and returns false; the caller then ends with status 1.
bool write(std::string_view text);

} // namespace Output
