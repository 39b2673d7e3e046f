// util/FailureText.cpp - the one mapping from an exception to its text, and tessgrid::Message,
// which is built on it. The contracts are in util/FailureText.h and tessgrid_message.h.
#include "util/FailureText.h"

#include <new>
#include <string>

#include "tessgrid_message.h"

namespace tessgrid::detail {

TFailureText CurrentFailureText(std::string_view StgUnknown) noexcept {
  try {
    throw;
  } catch (const char* PtrMessage) {
    // A const handler takes the library's char* and a literal thrown as it is alike.
    return {TFailureKind::kMessage,
            PtrMessage == nullptr ? std::string_view() : std::string_view(PtrMessage)};
  } catch (const std::string& StgMessage) {
    return {TFailureKind::kMessage, StgMessage};
  } catch (const std::bad_alloc&) {
    return {TFailureKind::kOutOfMemory, "Out of memory"};
  } catch (const std::exception& Exception) {
    return {TFailureKind::kException, Exception.what()};
  } catch (...) {
    return {TFailureKind::kUnknown, StgUnknown};
  }
}

TFailureText FailureText(const std::exception_ptr& PtrFailure,
                         std::string_view StgUnknown) noexcept {
  try {
    std::rethrow_exception(PtrFailure);
  } catch (...) {
    // Rethrowing copies nothing: the texts point into the exception PtrFailure keeps.
    return CurrentFailureText(StgUnknown);
  }
}

}  // namespace tessgrid::detail

namespace tessgrid {

std::string Message(std::exception_ptr PtrFailure) {
  if (!PtrFailure) {
    return std::string();
  }
  return std::string(detail::FailureText(PtrFailure, "Unknown failure").StgText);
}

}  // namespace tessgrid
