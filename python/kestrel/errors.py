"""The libraries' result codes, their meanings and the binding's exceptions."""

from __future__ import annotations

import enum
from typing import Optional


class Result(enum.IntEnum):
    """Result codes of libkestrel (0 success, negative failures, and the
    transport's 69 and 74)."""

    OK = 0
    UNSUPPORTED = -1
    NOT_DRIVEN = -100
    NO_READER = -101
    NONE_FOUND = -102
    NO_RECORD = -103
    BAD_CHECKSUM = -104
    READ_FAILED = -201
    TIMEOUT = -207
    WRITE_INFOREQ = -401
    WRITE_START = -402
    CAL_TEMPFILE = -600
    CAL_WRITE_CALIB = -601
    CAL_WRITE_READER = -602
    CAL_REPLACE = -603
    CAL_COPY = -604
    CAL_CLOSE_TEMP = -605
    CAL_READ = -606
    CAL_SYNC_DIR = -607
    CAL_REMOVE_BACKUP = -608
    NO_CALIBRATION = -610
    NOT_AVAILABLE = -700
    REENTERED = -999
    EX_UNAVAILABLE = 69
    EX_IOERR = 74
    # Earlier names of -606, -607 and -608, as the C header keeps them.
    CAL_OPEN_TEMP = -606
    CAL_CLOSE = -607
    CAL_REMOVE_TEMP = -608


_MEANINGS = {
    Result.OK: "success",
    Result.UNSUPPORTED: "not supported on this connection",
    Result.NOT_DRIVEN: "this connection class is not driven",
    Result.NO_READER: "no reader is active",
    Result.NONE_FOUND: "no reader found",
    Result.NO_RECORD: "no reader is current",
    Result.BAD_CHECKSUM: "the reader's information reply has a bad checksum",
    Result.READ_FAILED: "no reply from the reader (reading the port failed)",
    Result.TIMEOUT: "the reader did not answer in time",
    Result.WRITE_INFOREQ: "cannot send the information request",
    Result.WRITE_START: "cannot send the start command",
    Result.CAL_TEMPFILE: "calibration not saved: no temporary file can be made beside the calibration "
    "file, and the file cannot be rewritten in place",
    Result.CAL_WRITE_CALIB: "calibration not saved: cannot write the calibration line",
    Result.CAL_WRITE_READER: "calibration not saved: cannot write the reader line or the kept lines",
    Result.CAL_REPLACE: "calibration not saved: no usable file name, or the file cannot be replaced",
    Result.CAL_COPY: "calibration not saved: the backup could be neither linked, copied nor moved, "
    "or the file could not be rewritten in place",
    Result.CAL_CLOSE_TEMP: "calibration not saved: writing out the temporary file failed",
    Result.CAL_READ: "calibration not saved: the calibration file is not a regular file, or reading it failed",
    Result.CAL_SYNC_DIR: "calibration saved, but it could not be synced to disk: it may not survive a power cut",
    Result.CAL_REMOVE_BACKUP: "calibration not saved: the old backup could not be removed",
    Result.NO_CALIBRATION: "no calibration for this reader in the calibration file",
    Result.NOT_AVAILABLE: "not available on this connection class",
    Result.REENTERED: "poll re-entered, or an empty information reply",
    Result.EX_UNAVAILABLE: "no device path for this reader (find the readers first)",
    Result.EX_IOERR: "cannot open or configure the reader's port",
}

assert set(_MEANINGS) == set(Result), "one meaning per result code"


def meaning(code: int) -> str:
    """What a result code of the library means."""
    try:
        return _MEANINGS[Result(code)]
    except ValueError:
        return "unknown result code"


class KestrelError(Exception):
    """A library call failed.

    ``code`` is the library's result code (compare it with :class:`Result`),
    ``meaning`` what the code means and ``operation`` the call that failed.
    """

    def __init__(self, operation: str, code: int, meaning_text: Optional[str] = None) -> None:
        self.operation = operation
        self.code = code
        self.meaning = meaning_text if meaning_text is not None else meaning(code)
        super().__init__(f"{operation}: {self.meaning} ({code})")


class ScanError(KestrelError):
    """A scan could not be received: ``code`` is the count that the library
    passed to the scan-data callback, -1 when reading the line failed or it
    hung up, -2 when the scan's transfer failed."""

    _SCAN_MEANINGS = {
        -1: "reading the reader's line failed, or the line hung up",
        -2: "the scan's transfer from the reader failed",
    }

    def __init__(self, code: int) -> None:
        super().__init__("scan", code, self._SCAN_MEANINGS.get(code, "the scan failed"))


class ScanTimeout(KestrelError, TimeoutError):
    """No scan arrived within the wait; ``code`` is :attr:`Result.TIMEOUT`."""

    def __init__(self, seconds: float) -> None:
        super().__init__("scan", Result.TIMEOUT, f"no scan within {seconds:g} s")


class ReaderBusyError(RuntimeError):
    """The library keeps one reader per process, and one is open."""


class GradeResult(enum.IntEnum):
    """Result codes of the verifier engine, libkestrel-verify."""

    OK = 0
    ERR_ARGUMENT = -1
    ERR_PROFILE = -2
    ERR_INTERNAL = -3


class GradeError(KestrelError, ValueError):
    """The verifier engine refused a profile or an option: ``code`` is its
    :class:`GradeResult` and ``meaning`` the engine's reason."""
