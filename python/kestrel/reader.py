"""Finding readers, opening one, its scans and its calibration.

libkestrel keeps one reader per process: one line open at a time, one
current record, one scan-data callback. The binding follows it: while a
reader is open, a second :func:`open` or a :func:`find_readers` raises
:class:`ReaderBusyError`. Call the binding from one thread.
"""

from __future__ import annotations

import ctypes
import dataclasses
import logging
import math
import os
import time
from typing import TYPE_CHECKING, Iterable, Iterator, List, Mapping, Optional, Union

from . import _library
from .errors import KestrelError, ReaderBusyError, ScanError, ScanTimeout

if TYPE_CHECKING:
    from .grading import Profile, ScanGrade, SymbolGrade

log = logging.getLogger("kestrel")

#: Ids of the USB serial readers are 0x100 + index.
READER_CLASS_USB = 0x100

# The library takes at most this many devices in a host list.
_MAX_DEVICES = 16


@dataclasses.dataclass(frozen=True)
class ReaderInfo:
    """The reader information record, with the library's field names."""

    SerialNumber: int
    FirmwareVers: int
    ProgChecksum: int
    BootCheckSum: int
    Resolution: int
    Wavelength: int
    SizeOfSample: int
    NumOfSamples: int
    ReaderType: int
    MotivePower: int
    calmin: int
    calmax: int
    admin: int
    admax: int
    givenz: int
    lastcal: int
    factorycal_when: int
    factorycal_user: str

    @classmethod
    def _from_record(cls, record: _library.ReaderInfoRecord) -> ReaderInfo:
        values = {f.name: getattr(record, f.name) for f in dataclasses.fields(cls)}
        values["factorycal_user"] = bytes(record.factorycal_user).split(b"\0", 1)[0].decode("latin-1")
        return cls(**values)


@dataclasses.dataclass(frozen=True)
class FoundReader:
    """A reader that discovery found: its id (for :func:`open`), serial
    number, the port the library names for it (the device path it opened)
    and its information record."""

    id: int
    serial: int
    port: str
    info: ReaderInfo


@dataclasses.dataclass(frozen=True)
class Scan:
    """One scan: its samples (0..255 each) and the calibration in force when
    it arrived."""

    samples: List[int]
    calmin: int
    calmax: int

    def reflectance(self) -> List[float]:
        """Reflectance of each sample through the record's calibration.

        A sample s is the raw reading 256·s; its reflectance is
        (256·s − calmin) / (calmax − calmin), limited to 0..1 (all 0 when
        calmin equals calmax).
        """
        span = self.calmax - self.calmin
        if span == 0:
            return [0.0] * len(self.samples)
        return [min(1.0, max(0.0, (256 * s - self.calmin) / span)) for s in self.samples]


def check_raw_reading(name: str, value: object) -> None:
    """Raises ValueError unless ``value`` is a raw reading, a whole number
    0..65535 (a sample s reads 256·s)."""
    if isinstance(value, bool) or not isinstance(value, int) or not 0 <= value <= 0xFFFF:
        raise ValueError(f"{name} must be a raw reading 0..65535, not {value!r}")


def _config_file(name: str) -> str:
    """A file in the user's Kestrel configuration directory, where the
    kestrel program keeps it too."""
    xdg = os.environ.get("XDG_CONFIG_HOME", "")
    base = xdg if xdg.startswith("/") else os.path.join(os.path.expanduser("~"), ".config")
    return os.path.join(base, "kestrel", name)


@_library.STATFUNC
def _status_line(line: bytes) -> int:
    # The library's status lines go to the "kestrel" logger.
    log.debug("%s", line.decode("latin-1"))
    return 0


_active: Optional[Reader] = None


class _Capture:
    """What the scan-data callback has seen of the scan being waited for."""

    def __init__(self) -> None:
        self.reset()

    def reset(self) -> None:
        self.samples = bytearray()
        self.complete = False
        self.failure = 0


_capture = _Capture()


# One callback for the process, as the library stores one; it lives as long
# as the module, so the library never holds a pointer to a freed callback.
@_library.SCANDATA
def _scan_data(buf, count: int) -> int:
    # Runs inside reader_poll: note what arrived, nothing more.
    if count > 0 and buf:
        _capture.samples += ctypes.string_at(buf, count)
    elif count == 0:
        _capture.complete = True
    elif count < 0 and _capture.failure == 0:
        _capture.failure = count
    return 0


def _refuse_while_open(operation: str) -> None:
    if _active is not None:
        raise ReaderBusyError(f"{operation}: reader {_active.id:#x} is open; the library keeps one "
                              "reader per process, so close it first")


def _set_devices(devices: Optional[Mapping[str, Union[str, os.PathLike]]]) -> None:
    lib = _library.kestrel()
    if devices is None:
        lib.serial_registry_set(None, None, 0)
        return
    if len(devices) > _MAX_DEVICES:
        raise ValueError(f"at most {_MAX_DEVICES} devices, not {len(devices)}")
    if not devices:
        raise ValueError("an empty device list; give None for the system's serial devices")
    names = (ctypes.c_char_p * len(devices))(*(os.fsencode(n) if n else None for n in devices))
    paths = (ctypes.c_char_p * len(devices))(*(os.fsencode(p) for p in devices.values()))
    r = lib.serial_registry_set(names, paths, len(devices))
    if r != 0:
        raise KestrelError("serial_registry_set", r,
                           "the device list was refused: a name over 127 or a path over 1023 bytes")


def find_readers(devices: Optional[Mapping[str, Union[str, os.PathLike]]] = None) -> List[FoundReader]:
    """Probes serial devices for readers and returns those that answered.

    ``devices`` maps TTY names to device paths, e.g.
    ``{"usbserial-00001234": "/dev/ttyUSB0"}``, and replaces the system's
    serial devices; only names beginning with "usbserial-0000" (or an empty
    name) are probed. Without it the system's serial devices are probed.
    Each probe drains the line for about a second. Discovery also records
    the device paths that :func:`open` uses. Finding no reader is no error.
    """
    _refuse_while_open("find_readers")
    _set_devices(devices)
    found: List[FoundReader] = []

    @_library.RDRFOUND
    def on_found(reader_id: int, port: Optional[bytes], record) -> int:
        info = ReaderInfo._from_record(record.contents)
        found.append(FoundReader(reader_id, info.SerialNumber,
                                 os.fsdecode(port) if port else "", info))
        return 0

    _library.kestrel().reader_enumerate(_status_line, on_found,
                                        os.fsencode(_config_file("settings.ini")), 0)
    return found


class Reader:
    """An open reader, as :func:`open` returns it. Use it as a context
    manager, or call :meth:`close` when done."""

    def __init__(self, reader_id: int, calfile: str) -> None:
        self.id = reader_id
        self.calfile = calfile
        self._closed = False
        self._started = False

    @property
    def info(self) -> ReaderInfo:
        """The reader's information record as the library holds it now."""
        self._check_open()
        record = _library.ReaderInfoRecord()
        r = _library.kestrel().reader_info(ctypes.byref(record))
        if r != 0:
            raise KestrelError("reader_info", r)
        return ReaderInfo._from_record(record)

    def _check_open(self) -> None:
        if self._closed:
            raise ValueError(f"reader {self.id:#x} is closed")

    def scans(self, count: int, timeout: float = 10.0) -> Iterator[Scan]:
        """Yields ``count`` scans as the reader announces them, waiting up to
        ``timeout`` seconds for each. Raises :class:`ScanTimeout` when one does
        not come in time and :class:`ScanError` when one fails.
        """
        self._check_open()
        if count < 1:
            raise ValueError(f"count must be at least 1, not {count}")
        if not (timeout > 0 and math.isfinite(timeout)):
            raise ValueError(f"timeout must be a positive number of seconds, not {timeout}")
        lib = _library.kestrel()
        if not self._started:
            r = lib.reader_start(_scan_data)
            if r != 0:
                raise KestrelError("reader_start", r)
            self._started = True
        for _ in range(count):
            self._check_open()
            _capture.reset()
            deadline = time.monotonic() + timeout
            while not _capture.complete:
                r = lib.reader_poll()
                if r != 0:
                    raise KestrelError("reader_poll", r)
                if _capture.failure:
                    raise ScanError(_capture.failure)
                if _capture.complete:
                    break
                if time.monotonic() > deadline:
                    raise ScanTimeout(timeout)
                time.sleep(0.001)
            info = self.info
            yield Scan(list(_capture.samples), info.calmin, info.calmax)

    def calibrate(self, raw_min: int, raw_max: int, true_min: float, true_max: float,
                  extra: str = "") -> ReaderInfo:
        """Calibrates the reader from a dark and a light reference and keeps
        the calibration in the calibration file, with ``extra`` as a comment.

        ``raw_min``/``raw_max`` are raw readings 0..65535 (a sample s reads
        256·s), ``true_min``/``true_max`` the references' true reflectances
        0..1; the dark one must be below the light one in both. Returns the
        new record. When saving fails, :class:`KestrelError` carries the
        save's code; the record keeps the new values all the same.
        """
        self._check_open()
        check_raw_reading("raw_min", raw_min)
        check_raw_reading("raw_max", raw_max)
        for name, value in (("true_min", true_min), ("true_max", true_max)):
            if not (0.0 <= float(value) <= 1.0):
                raise ValueError(f"{name} must be a reflectance 0..1, not {value!r}")
        if raw_min >= raw_max or true_min >= true_max:
            raise ValueError("the dark reference must be below the light one in raw and true values")
        text = extra.encode("utf-8")
        if b"\0" in text:
            raise ValueError("extra must not hold a NUL character")
        directory = os.path.dirname(self.calfile)
        if directory:
            os.makedirs(directory, exist_ok=True)
        r = _library.kestrel().reader_calib(raw_min, raw_max, true_min, true_max,
                                            os.fsencode(self.calfile), int(time.time()), text)
        if r != 0:
            raise KestrelError("reader_calib", r)
        return self.info

    def _as_scan(self, profile: Profile, info: ReaderInfo) -> Union[Scan, List[float]]:
        # Bare samples are this reader's, through its calibration now.
        from .grading import normalize_profile
        profile = normalize_profile(profile)
        return Scan(list(profile), info.calmin, info.calmax) if isinstance(profile, bytes) else profile

    def grade(self, profile: Profile, **options) -> ScanGrade:
        """Grades a scan of this reader with :func:`kestrel.grade` and the
        same options. A :class:`Scan` is graded through the calibration it
        arrived with, bare samples through the reader's calibration now,
        unless ``calmin`` and ``calmax`` are given.
        """
        from .grading import grade
        self._check_open()
        return grade(self._as_scan(profile, self.info), **options)

    def grade_symbol(self, scans: Iterable[Union[ScanGrade, Profile]], **options) -> SymbolGrade:
        """Grades a symbol from scans of this reader with
        :func:`kestrel.grade_symbol` and the same options; the wavelength
        of the notation is the reader's (its record's ``Wavelength``)
        unless ``wavelength`` is given. ``scans`` may be ``reader.scans(10)``
        itself.
        """
        from .grading import ScanGrade, grade_symbol
        self._check_open()
        info = self.info
        options.setdefault("wavelength", info.Wavelength)
        return grade_symbol([s if isinstance(s, ScanGrade) else self._as_scan(s, info) for s in scans], **options)

    def close(self) -> None:
        """Stops the reader and closes its line; closing twice does nothing."""
        global _active
        if self._closed:
            return
        self._closed = True
        if _active is self:
            _active = None
        lib = _library.kestrel()
        lib.reader_stop()
        lib.reader_usb_close()

    def __enter__(self) -> Reader:
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def __repr__(self) -> str:
        state = "closed" if self._closed else "open"
        return f"<kestrel.Reader {self.id:#x} {state}>"


def open(reader_id: Union[int, FoundReader], calfile: Optional[Union[str, os.PathLike]] = None) -> Reader:
    """Activates a reader that :func:`find_readers` found and loads its
    calibration from ``calfile`` (by default the kestrel program's,
    ``$XDG_CONFIG_HOME/kestrel/calibration.txt``; a missing file or
    calibration is no error).

    Returns the open :class:`Reader`, best used as a context manager: on
    leaving it, also through an exception or KeyboardInterrupt, the reader
    is stopped and its line closed. The library keeps one reader per
    process, so a second open while one is open raises
    :class:`ReaderBusyError`. A failed activation raises
    :class:`KestrelError` with the library's code.
    """
    global _active
    _refuse_while_open("open")
    if isinstance(reader_id, FoundReader):
        reader_id = reader_id.id
    path = os.fspath(calfile) if calfile is not None else _config_file("calibration.txt")
    settings = os.path.join(os.path.dirname(path) or ".", "settings.ini")
    lib = _library.kestrel()
    r = lib.reader_activate(_status_line, os.fsencode(path), os.fsencode(settings), reader_id, 0)
    if r != 0:
        # A failed activation may leave the line open; put it back.
        lib.reader_stop()
        lib.reader_usb_close()
        raise KestrelError("reader_activate", r)
    _active = Reader(reader_id, path)
    return _active
