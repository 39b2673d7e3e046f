// io/ConsoleLine.h - WriteConsoleLine: a failure line that stays one line on the console.
// io/ConsoleLine.cpp holds it; the commands print their failures through it.
#ifndef IO_CONSOLELINE_H
#define IO_CONSOLELINE_H

#include <exception>
#include <new>
#include <ostream>
#include <string>
#include <string_view>

namespace tessgrid::detail {

/// Writes the text and a line end to the stream, and flushes it. Bytes below 0x20 and the byte
/// 0x7f are written as \xNN (two lower-case hex digits, as the grid reader shows cell tokens),
/// so that a file name holding a line end, a carriage return or an escape sequence can neither
/// break the line nor steer the terminal; every other byte, UTF-8 included, is written as it
/// is. Allocates nothing, so it can also report that memory ran out.
void WriteConsoleLine(std::ostream& Output, std::string_view StgText);

/// Inside a catch block: hands the text of the exception in flight to Report. A message thrown
/// as char* or std::string is its text, std::bad_alloc is "Out of memory", another
/// std::exception its what(), anything else StgUnknown. Nothing is copied on the way, so that a
/// failure for lack of memory is reported too.
template <typename TReport>
void ReportCurrentFailure(TReport&& Report, std::string_view StgUnknown) {
  try {
    throw;
  } catch (char* PtrMessage) {
    Report(PtrMessage);
  } catch (const std::string& StgMessage) {
    Report(StgMessage);
  } catch (const std::bad_alloc&) {
    Report("Out of memory");
  } catch (const std::exception& Exception) {
    Report(Exception.what());
  } catch (...) {
    Report(StgUnknown);
  }
}

}  // namespace tessgrid::detail

#endif  // IO_CONSOLELINE_H
