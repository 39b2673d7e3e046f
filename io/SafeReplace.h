// io/SafeReplace.h - WriteFileSafely: writes a named file so that a failed or interrupted write
// never destroys what the file held before; the signal set-up of the commands. io/SafeReplace.cpp.
#ifndef IO_SAFEREPLACE_H
#define IO_SAFEREPLACE_H

#include <functional>
#include <ostream>
#include <string>

namespace tessgrid::detail {

/// Lets Write fill a stream and puts the text into the named file, by the kind of target:
/// - A regular file, also one reached through a chain of up to 40 symbolic links (a relative
///   link counts from the link's folder): the text goes to a new temporary file beside the file
///   the chain finally names, created exclusively (never through a link) with that file's
///   permissions (0666 less the umask for a new file), written through the descriptor that
///   created it, synced to the disk and renamed over the file. The links stay links. The
///   temporary is named "NAME.tessgrid-PID-K.tmp" (NAME the file's own name, cut at the end to
///   keep the whole within 255 bytes; PID the writing process; K from 0 to 99, the first free);
///   it is removed on every failure and, once the command set up its signals, on SIGINT, SIGTERM
///   and SIGHUP. A regular file is never written in place and never truncated.
/// - "/dev/stdout", "/dev/stderr", "/dev/fd/N" and "/proc/self/fd/N" (also at the end of a
///   link chain): written through the descriptor the process already holds, at its position,
///   neither opened nor truncated, so an output appended to by the shell stays appended to.
/// - Other files that are not regular (character devices, pipes): opened and written in place,
///   without truncating. Each row the writers end reaches these targets at once; a temporary
///   takes the text in large blocks.
/// Throws "Unable to open file " followed by the name when the target cannot be opened or created
/// at all: an empty name, a name too long, a missing folder on the way, a folder, a link loop, a
/// regular file its permissions keep us from writing, a new file that its folder does not take
/// (no write permission, no room, a read-only file system), an inherited descriptor that is
/// closed or read-only, a device or pipe that does not open.
/// Throws "Unable to write file " followed by the name when an existing regular file cannot get a
/// temporary beside it (a folder without write permission, no free space or inodes, a name taken
/// by 100 others), when writing (a full disk, the file-size limit), syncing or closing fails,
/// when the temporary's name was taken over by another file while writing, or when the rename
/// fails. The target is then byte for byte as it was. Both messages are std::string.
/// Exceptions of Write (std::bad_alloc among them) pass through after the temporary is removed.
void WriteFileSafely(const std::string& StgFileName,
                     const std::function<void(std::ostream&)>& Write);

/// Returns whether WriteFileSafely would now write the named file through a temporary (a
/// regular file, a name that does not exist yet, or a link chain ending in one), so that no
/// reader of the file sees a byte of it before the write is complete.
bool WritesThroughTemporary(const std::string& StgFileName);

/// Sets up the signals of a command; call it once at its start. SIGINT, SIGTERM and SIGHUP then
/// remove the temporary that WriteFileSafely is writing, if any, and end the process with status
/// 128 + the signal number (a signal the process inherited as ignored stays ignored, as nohup
/// wants). SIGXFSZ is ignored, so that a write beyond the file-size limit fails with EFBIG and
/// is reported instead of killing the process.
void InstallCommandSignalHandlers();

}  // namespace tessgrid::detail

#endif  // IO_SAFEREPLACE_H
