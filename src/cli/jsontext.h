#pragma once

#include <string>
#include <string_view>

// Pieces of JSON text written by hand, so keys keep the order the report promises.
namespace JsonText {

// A JSON string literal, quotes included; invalid UTF-8 is replaced by U+FFFD.
std::string string(std::string_view utf8);
// The shortest text that reads back as the same double.
std::string number(double value);

} // namespace JsonText
