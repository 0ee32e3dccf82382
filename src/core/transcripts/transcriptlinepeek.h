#pragma once

#include <string_view>

// Most transcript bytes belong to other kinds of lines than assistant replies (user turns with
// large tool results). A glance at the first top-level "type" member, which comes early in
// every line the assistant writes, settles those without parsing the rest.
namespace TranscriptLinePeek {

// True only when the full parse could not yield a record either: for well-formed JSON the
// glance reads the same first "type" member the full parse reads, and malformed lines yield
// nothing anyway. Anything it cannot settle (an escaped key or type, an unexpected byte) is
// left to the full parse by answering false.
bool surelyNotAssistant(std::string_view line);

} // namespace TranscriptLinePeek
