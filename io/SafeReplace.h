// io/SafeReplace.h - WriteFileSafely: writes a named file so that a failed write never destroys
// what the file held before. io/SafeReplace.cpp holds it.
#ifndef IO_SAFEREPLACE_H
#define IO_SAFEREPLACE_H

#include <functional>
#include <ostream>
#include <string>

namespace tessgrid::detail {

/// Opens the named file for writing in text mode and lets Write fill the stream. A regular file
/// (or a new one) is written as a temporary file beside it, which is renamed into place only
/// when everything was written and closed; the temporary is removed on any failure, so the
/// earlier file stays as it was. Other targets (devices, pipes, symbolic links) are written in
/// place and never renamed over. Without room for a temporary beside it (a read-only folder) a
/// writable regular file is written in place too.
/// Throws "Unable to open file " followed by the name when the target cannot be written at all
/// (a missing folder, no permission, a folder), and "Unable to write file " followed by the name
/// when writing, closing or renaming fails, both as std::string. Exceptions of Write pass through
/// after the temporary is removed.
void WriteFileSafely(const std::string& StgFileName,
                     const std::function<void(std::ostream&)>& Write);

}  // namespace tessgrid::detail

#endif  // IO_SAFEREPLACE_H
