// io/ConsoleLine.h - WriteConsoleLine: a failure line that stays one line on the console.
// io/ConsoleLine.cpp holds it; the commands print their failures through it.
#ifndef IO_CONSOLELINE_H
#define IO_CONSOLELINE_H

#include <ostream>
#include <string_view>

namespace tessgrid::detail {

/// Writes the text and a line end to the stream, and flushes it. Bytes below 0x20 and the byte
/// 0x7f are written as \xNN (two lower-case hex digits, as the grid reader shows cell tokens),
/// so that a file name holding a line end, a carriage return or an escape sequence can neither
/// break the line nor steer the terminal; every other byte, UTF-8 included, is written as it
/// is. Allocates nothing, so it can also report that memory ran out.
void WriteConsoleLine(std::ostream& Output, std::string_view StgText);

}  // namespace tessgrid::detail

#endif  // IO_CONSOLELINE_H
