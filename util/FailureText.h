// util/FailureText.h - the text a user reads for a failure, whichever face shows it: the commands'
// failure lines, tessgrid::Message and the Python exceptions. util/FailureText.cpp holds it.
#ifndef UTIL_FAILURETEXT_H
#define UTIL_FAILURETEXT_H

#include <exception>
#include <string_view>

namespace tessgrid::detail {

/// What a failure is, for a face that shows kinds apart (Python raises MemoryError for one).
enum class TFailureKind {
  kMessage,      ///< a message thrown as char* or std::string: the library's and the faces' own
  kOutOfMemory,  ///< std::bad_alloc
  kException,    ///< any other std::exception
  kUnknown,      ///< anything else
};

/// A failure's kind and its text. The text lives as long as the exception it was taken from.
struct TFailureText {
  TFailureKind Kind;
  std::string_view StgText;  ///< the message, "Out of memory", what(), or the caller's text
};

/// Inside a catch block: returns the text of the exception in flight. A char* or std::string is
/// its text (an empty one for a null char*), std::bad_alloc is "Out of memory", another
/// std::exception its what(), and anything else StgUnknown. Copies and allocates nothing, so that
/// a failure for lack of memory is shown too.
TFailureText CurrentFailureText(std::string_view StgUnknown) noexcept;

/// Returns the text of the failure PtrFailure holds, as CurrentFailureText; the pointer must not
/// be null.
TFailureText FailureText(const std::exception_ptr& PtrFailure,
                         std::string_view StgUnknown) noexcept;

}  // namespace tessgrid::detail

#endif  // UTIL_FAILURETEXT_H
