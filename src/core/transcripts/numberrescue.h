#pragma once

#include <optional>
#include <string>
#include <string_view>

// The JSON parser cannot hold an integer literal beyond 64 bits or a number that overflows a
// double, and rejects the whole line for it, although such a line is well-formed. Only a
// token count is ever read as a number, and out of range it counts as 0 anyway; so such numbers
// may stand in for any value that reads as count 0 without changing what the line yields.
namespace NumberRescue {

// `line` with every number token outside strings that the parser cannot hold replaced by 0.5,
// or nothing when it holds none. Malformed numbers are left as they are, so a malformed line
// stays malformed.
std::optional<std::string> withHoldableNumbers(std::string_view line);

} // namespace NumberRescue
