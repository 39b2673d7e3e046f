"""tessgrid's exceptions: Error (a ValueError) for every failure, and for a file that cannot be
opened the OSError Python itself would raise, which is a tessgrid.Error as well."""

import builtins
import errno
import os
import stat

from tessgrid._tessgrid import Error


class FileNotFoundError(builtins.FileNotFoundError, Error):
    """A file to read, or the folder of one to write, does not exist."""


class PermissionError(builtins.PermissionError, Error):
    """The file or its folder may not be read or written."""


class IsADirectoryError(builtins.IsADirectoryError, Error):
    """A folder was named where a file was meant."""


for _kind in (FileNotFoundError, PermissionError, IsADirectoryError):
    _kind.__module__ = "tessgrid"

_KINDS = {errno.ENOENT: FileNotFoundError, errno.EACCES: PermissionError, errno.EPERM: PermissionError,
          errno.EISDIR: IsADirectoryError}

_OPEN_FAILURES = ("Unable to open file ", "Unable to write file ", "Unable to read file ")


def _reading_cause(path):
    if os.path.isdir(path):
        return errno.EISDIR
    try:
        with open(path, "rb"):
            return None
    except OSError as failure:
        return failure.errno


def _writing_cause(path):
    try:
        if stat.S_ISDIR(os.stat(path).st_mode):
            return errno.EISDIR
    except FileNotFoundError:
        pass
    except OSError as failure:
        return failure.errno
    folder = os.path.dirname(os.path.abspath(path))
    try:
        os.stat(folder)
    except OSError as failure:
        return failure.errno
    if not os.access(folder, os.W_OK | os.X_OK) or \
            (os.path.exists(path) and not os.access(path, os.W_OK)):
        return errno.EACCES
    return None


def io_error(failure, path, writing):
    """Returns the exception to raise for a failure (an Error) of reading or writing the path: the
    OSError subclass and the words Python gives when the cause is a missing file or folder, a
    permission or a folder named as a file, else the failure itself."""
    if not str(failure).startswith(_OPEN_FAILURES):
        return failure
    code = _writing_cause(path) if writing else _reading_cause(path)
    kind = _KINDS.get(code)
    if kind is None:
        return failure
    return kind(code, os.strerror(code), path)
