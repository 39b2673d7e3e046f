// io/SafeReplace.h - WriteFileSafely and TOutputSet: named files written so that a failed or
// interrupted run never destroys what they held before; the signal set-up of the commands.
// io/SafeReplace.cpp.
#ifndef IO_SAFEREPLACE_H
#define IO_SAFEREPLACE_H

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace tessgrid::detail {

/// Lets Write fill a stream and puts the text into the named file, by the kind of target:
/// - A regular file, also one reached through a chain of up to 40 symbolic links (a relative
///   link counts from the link's folder): the text goes to a new temporary file beside the file
///   the chain finally names (TemporaryFolder), created exclusively (never through a link) with
///   that file's permissions (0666 less the umask for a new file), written through the
///   descriptor that created it, synced to the disk and renamed over the file. The links stay
///   links. The temporary is named "NAME.tessgrid-PID-K.tmp" (NAME the file's own name, cut at
///   the end to keep the whole within 255 bytes; PID the writing process; K from 0 to 99, the
///   first free); it is removed on every failure and, once the command set up its signals, on
///   SIGINT, SIGTERM and SIGHUP. A regular file is never written in place and never truncated.
///   This is a TOutputSet of one output, staged and committed at once.
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
/// by 100 others) or cannot be renamed over (a sticky folder where we own neither the folder nor
/// the file), when writing (a full disk, the file-size limit), syncing or closing fails, when
/// the temporary's name was taken over by another file while writing, or when the rename fails.
/// The target is then byte for byte as it was. Both messages are std::string.
/// Exceptions of Write (std::bad_alloc among them) pass through after the temporary is removed.
void WriteFileSafely(const std::string& StgFileName,
                     const std::function<void(std::ostream&)>& Write);

/// The outputs of one run, put in place together or not at all. Stage writes each output that
/// goes through a temporary (see WriteFileSafely) into its temporary at once, synced and checked;
/// StageRemoval checks that a file can be removed. Nothing a reader can see changes before
/// Commit, which renames every temporary over its file and removes the files staged for removal,
/// in the order they were staged (so a sidecar staged after its grid follows it).
/// Targets that take no temporary (standard output, the descriptors the process holds, devices,
/// pipes) cannot be staged: Write fills a text in memory at once, and Commit writes it, after
/// every temporary is ready and before the first rename.
/// Destroying a set that was not committed, or a failure of Commit before its renames, removes
/// every temporary the set made; so do SIGINT, SIGTERM and SIGHUP once
/// InstallCommandSignalHandlers ran. Once the renames begin, those signals wait until they end.
class TOutputSet {
 public:
  TOutputSet();
  ~TOutputSet();
  TOutputSet(const TOutputSet&) = delete;
  TOutputSet& operator=(const TOutputSet&) = delete;

  /// Stages the text Write puts in the stream as the new content of the named file.
  /// Throws the failures WriteFileSafely meets before its rename, with the target as it was and
  /// no temporary of this output left; "outputs A and B are the same file" when an earlier
  /// Stage or StageRemoval of the set named the file B names (std::string); the exceptions of
  /// Write. A Write may stage further outputs while it writes, so that several files are
  /// written side by side in one pass: they come after this one, and go with it when it fails.
  void Stage(const std::string& StgFileName, const std::function<void(std::ostream&)>& Write);

  /// Stages the files Write makes at the path it is given, for writers that need a name rather
  /// than a stream (they seek, read back what they wrote, and may write further files named
  /// after it, such as GDAL's NAME.hdr or NAME.aux.xml). The path names the output's own name
  /// (the last part of the name given) in a private folder made beside the file the name leads
  /// to ("NAME.tessgrid-PID-K.tmp", open to its owner only, the first free K), so that every file
  /// Write makes is named as it will be beside the output. Write closes all it made before it
  /// returns and reports its failures by throwing; it may stage further outputs meanwhile, as
  /// Stage's Write may. Then each file in the folder is staged: the one of the output's own name
  /// as the new content of the named file (as Stage's temporary: with its mode, through its
  /// link chain), every other one as the new content of the file of its name in the named
  /// file's folder, following it (renamed at commit when that is the same folder, else copied
  /// into a temporary there). Each of the names the output's own name followed by one of
  /// VecCompanions (".aux.xml") that Write did not make is staged for removal, as it would
  /// describe the earlier file. The private folder, with everything in it, is removed on every
  /// failure, at commit and on SIGINT, SIGTERM and SIGHUP. Only for targets that take a
  /// temporary.
  /// Throws "Unable to write file " followed by the name and ": not a regular file" for
  /// standard output, a device or a pipe (after the failures of CheckWritable), and for a file
  /// Write made that is not a regular file (with the name of the file beside the output);
  /// "Unable to write file " followed by the name when Write made no file of the output's own
  /// name; otherwise the failures of Stage for the output and for each file beside it, and of
  /// StageRemoval for the companions.
  void StageFile(const std::string& StgFileName,
                 const std::function<void(const std::string&)>& Write,
                 const std::vector<std::string>& VecCompanions = {});

  /// Stages the text Write puts in the stream for standard output (std::cout).
  /// Throws the exceptions of Write.
  void StageStandardOutput(const std::function<void(std::ostream&)>& Write);

  /// Stages the removal of the named file itself (a link, not what it names), if it exists.
  /// Throws "Unable to remove file " followed by the name (std::string) when it exists and
  /// cannot be removed: a folder, or its folder does not let us (no write permission, a
  /// read-only file system, a sticky folder where we own neither the folder nor the file); and
  /// "outputs A and B are the same file" as Stage does.
  void StageRemoval(const std::string& StgFileName);

  /// Writes the texts of the targets that take no temporary, in the order staged, then renames
  /// every temporary over its file and removes the files staged for removal, in the order
  /// staged. Does nothing a second time.
  /// Throws "Unable to write standard output" and the failures of WriteFileSafely for a target
  /// that takes no temporary; no file is renamed or removed then. While temporaries wait, a
  /// closed pipe on such a target is that failure rather than SIGPIPE.
  /// Throws "Unable to write file " followed by the name when a rename fails and "Unable to
  /// remove file " followed by the name when a removal fails: the outputs staged before it are
  /// then in place and those after it as they were.
  void Commit();

  struct TStaged;  ///< what the set prepared; defined in io/SafeReplace.cpp

 private:
  std::unique_ptr<TStaged> MbrPtrStaged;  ///< the outputs staged, in order; never null
};

/// Returns the folder where WriteFileSafely and TOutputSet::Stage put the temporary of the named
/// file: the folder of the file at the end of its link chain, as named there ("." for a bare
/// name). Returns "" when the name takes no temporary (see WritesThroughTemporary).
std::string TemporaryFolder(const std::string& StgFileName);

/// Returns whether WriteFileSafely would now write the named file through a temporary (a
/// regular file, a name that does not exist yet, or a link chain ending in one), so that no
/// reader of the file sees a byte of it before the write is complete.
bool WritesThroughTemporary(const std::string& StgFileName);

/// Checks, writing nothing and opening no device or pipe, that WriteFileSafely could write the
/// named file: that the target can be opened or created, and that an existing regular file can
/// get a temporary in its TemporaryFolder and be renamed over.
/// Throws the message WriteFileSafely would throw for the cases it can tell ahead: "Unable to
/// open file " or "Unable to write file " followed by the name, as std::string. A full disk
/// shows only while writing.
void CheckWritable(const std::string& StgFileName);

/// Returns a key that two names share when they lead to one file as WriteFileSafely writes it:
/// the device and inode of a file that exists (links followed, so hard links and links share
/// it), else the device and inode of the TemporaryFolder and the file's name there. Returns ""
/// for a name that leads to no file at all (a missing folder, a link loop).
std::string FileIdentity(const std::string& StgFileName);

/// Sets up the signals of a command; call it once at its start. SIGINT, SIGTERM and SIGHUP then
/// remove every temporary that WriteFileSafely or a TOutputSet holds, and end the process with
/// status 128 + the signal number (a signal the process inherited as ignored stays ignored, as
/// nohup wants); once the last WriteFileSafely or TOutputSet::Commit has put all its outputs in
/// place (a signal during its renames waits for them), they end it with status 0 instead, as
/// the run's result is complete. SIGSEGV, SIGBUS, SIGABRT, SIGFPE and SIGILL (a library that
/// aborts or faults when an allocation fails inside it) remove them too, and then take the
/// course they had before (the default end, or a sanitizer's report). SIGXFSZ and SIGPIPE are
/// ignored, so that a write beyond the
/// file-size limit (EFBIG) or to a pipe whose reader has gone (EPIPE) fails and is reported
/// instead of killing the process.
void InstallCommandSignalHandlers();

}  // namespace tessgrid::detail

#endif  // IO_SAFEREPLACE_H
