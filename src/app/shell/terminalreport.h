#pragma once

#include <string>

// The usage report for a terminal, from one scan of the default transcript tree: what the
// application prints when there is no desktop to show it on.
namespace TerminalReport {

std::string text();

} // namespace TerminalReport
