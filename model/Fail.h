// model/Fail.h - Fail: the one way the library reports a failure, as an exception carrying its
// text. Every check in model/, io/, ops/ and util/ goes through these two functions.
#ifndef MODEL_FAIL_H
#define MODEL_FAIL_H

#include <string>

namespace tessgrid::detail {

/// Throws the constant message as a non-const char*, so that a caller's `catch (char*)` and
/// `catch (const char*)` both take it. The text must be a string literal (it outlives the throw).
[[noreturn]] inline void Fail(const char* PtrMessage) {
  // The library's callers catch char*, so the pointer has to lose its const; nobody writes
  // through it.
  throw const_cast<char*>(PtrMessage);
}

/// Throws a message built at run time as a std::string, by value.
[[noreturn]] inline void Fail(std::string StgMessage) {
  throw StgMessage;
}

}  // namespace tessgrid::detail

#endif  // MODEL_FAIL_H
