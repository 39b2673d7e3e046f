// tessgrid_message.h - tessgrid::Message: the text of any failure, caught with one catch (...).
// tessgrid.h includes it; util/FailureText.cpp holds it.
#ifndef TESSGRID_MESSAGE_H
#define TESSGRID_MESSAGE_H

#include <exception>
#include <string>

#include "tessgrid_export.h"

namespace tessgrid {

/// The library throws its messages as char* (constant texts) or std::string (texts built at run
/// time), which catch (const std::exception&) does not see. One catch (...) takes them all:
///
///     try {
///       TMapPtr Total(TMapTools::Add(A.get(), B.get()));
///     } catch (...) {
///       std::cerr << tessgrid::Message(std::current_exception()) << '\n';
///     }
///
/// Returns the text of a char* or a std::string, "Out of memory" for std::bad_alloc (the
/// command's line for it), what() of any other std::exception, "Unknown failure" for anything
/// else, and an empty text for a null pointer (no failure).
TESSGRID_EXPORT std::string Message(std::exception_ptr PtrFailure);

}  // namespace tessgrid

#endif  // TESSGRID_MESSAGE_H
