"""Loading libkestrel and libkestrel-verify and describing their C
interfaces to ctypes.

The libraries are looked for in the directory named by KESTREL_LIBDIR when that
variable is set, else through the system's loader path. Each is loaded once,
on first use, so that importing the package needs no library.
"""

from __future__ import annotations

import ctypes
import functools
import os
from ctypes import (CFUNCTYPE, POINTER, c_char, c_char_p, c_double, c_float, c_int,
                    c_int32, c_size_t, c_ubyte, c_uint, c_uint16)

#: File name of the reader access library, by its SONAME.
KESTREL_SONAME = "libkestrel.so.1"

#: File name of the verifier engine, by its SONAME.
VERIFY_SONAME = "libkestrel-verify.so.1"

#: Environment variable naming the directory of the project's libraries.
LIBDIR_VARIABLE = "KESTREL_LIBDIR"


class ReaderInfoRecord(ctypes.Structure):
    """The library's readerinfo_t: packed on 2-byte boundaries, 302 bytes."""

    _pack_ = 2
    _fields_ = [
        ("SerialNumber", c_uint16),
        ("FirmwareVers", c_uint16),
        ("ProgChecksum", c_uint16),
        ("BootCheckSum", c_uint16),
        ("Resolution", c_uint16),
        ("Wavelength", c_uint16),
        ("SizeOfSample", c_int32),
        ("NumOfSamples", c_uint16),
        ("ReaderType", c_int32),
        ("MotivePower", c_int32),
        ("calmin", c_uint16),
        ("calmax", c_uint16),
        ("admin", c_uint16),
        ("admax", c_uint16),
        ("givenz", c_uint16),
        ("lastcal", c_int32),
        ("factorycal_when", c_int32),
        ("factorycal_user", c_char * 257),
    ]


if ctypes.sizeof(ReaderInfoRecord) != 302:
    raise ImportError("readerinfo_t does not come out at 302 bytes on this platform")

# Callback types: status line, reader found, scan data.
STATFUNC = CFUNCTYPE(c_int, c_char_p)
RDRFOUND = CFUNCTYPE(c_int, c_int, c_char_p, POINTER(ReaderInfoRecord))
SCANDATA = CFUNCTYPE(c_int, POINTER(c_ubyte), c_int)

# The functions the binding calls: name -> (result type, argument types).
_KESTREL_FUNCTIONS = {
    "serial_registry_set": (c_int, [POINTER(c_char_p), POINTER(c_char_p), c_int]),
    "reader_enumerate": (c_int, [STATFUNC, RDRFOUND, c_char_p, c_int]),
    "reader_activate": (c_int, [STATFUNC, c_char_p, c_char_p, c_int, c_int]),
    "reader_start": (c_int, [SCANDATA]),
    "reader_poll": (c_int, []),
    "reader_stop": (c_int, []),
    "reader_usb_close": (c_int, []),
    "reader_info": (c_int, [POINTER(ReaderInfoRecord)]),
    "reader_calib": (c_int, [c_uint, c_uint, c_float, c_float, c_char_p, c_int32, c_char_p]),
}


# ---- The verifier engine's structures (kestrel/verify.h), field for field --

VERIFY_PARAMETERS = 8
VERIFY_MAX_ELEMENTS = 2048
VERIFY_SYMBOL_SIZE = 512
VERIFY_TEXT_SIZE = 160
VERIFY_NOTATION_SIZE = 32


class VerifyOptions(ctypes.Structure):
    """verify_options_t."""

    _fields_ = [
        ("symbologies", c_uint),
        ("check", c_int),
        ("msi_check", c_int),
        ("aperture", c_int),
        ("mm_per_sample", c_double),
        ("wavelength", c_int),
    ]


class VerifyParam(ctypes.Structure):
    """verify_param_t: one parameter's value, grade and letter."""

    _fields_ = [("value", c_double), ("grade", c_double), ("letter", c_char)]


class VerifyElement(ctypes.Structure):
    """verify_element_t: a bar or a space."""

    _fields_ = [
        ("start", c_double),
        ("end", c_double),
        ("reflectance", c_double),
        ("ern", c_double),
        ("bar", c_int),
    ]


class VerifyScan(ctypes.Structure):
    """verify_scan_t: one graded scan (about 80 KB). The symbol is bytes,
    not a C string, as its data may hold NUL bytes."""

    _fields_ = [
        ("grade", c_double),
        ("letter", c_char),
        ("param", VerifyParam * VERIFY_PARAMETERS),
        ("rmax", c_double),
        ("gt", c_double),
        ("decoded", c_int),
        ("symbology", c_int),
        ("reversed", c_int),
        ("symbol", c_ubyte * VERIFY_SYMBOL_SIZE),
        ("symbol_length", c_int),
        ("module", c_double),
        ("symbol_first", c_int),
        ("symbol_last", c_int),
        ("quiet_start", c_double * 2),
        ("quiet_end", c_double * 2),
        ("quiet_required", c_double * 2),
        ("element_total", c_int),
        ("element_count", c_int),
        ("element", VerifyElement * VERIFY_MAX_ELEMENTS),
        ("failure", c_char * VERIFY_TEXT_SIZE),
    ]


class VerifySymbol(ctypes.Structure):
    """verify_symbol_t: the grade of a symbol over several scans."""

    _fields_ = [
        ("scans", c_int),
        ("decoded_scans", c_int),
        ("consistent", c_int),
        ("grade", c_double),
        ("letter", c_char),
        ("mean", VerifyParam * VERIFY_PARAMETERS),
        ("symbology", c_int),
        ("symbol", c_ubyte * VERIFY_SYMBOL_SIZE),
        ("symbol_length", c_int),
        ("module", c_double),
        ("x_mm", c_double),
        ("aperture", c_int),
        ("notation", c_char * VERIFY_NOTATION_SIZE),
        ("failure", c_char * VERIFY_TEXT_SIZE),
    ]


#: The engine's structures by their C names, for the test that compares
#: their layout with the header's.
VERIFY_STRUCTURES = {
    "verify_options_t": VerifyOptions,
    "verify_param_t": VerifyParam,
    "verify_element_t": VerifyElement,
    "verify_scan_t": VerifyScan,
    "verify_symbol_t": VerifySymbol,
}

_VERIFY_FUNCTIONS = {
    "verify_profile": (c_int, [POINTER(c_double), c_size_t, POINTER(VerifyOptions), POINTER(VerifyScan)]),
    "verify_samples": (c_int, [POINTER(c_ubyte), c_size_t, c_uint, c_uint, POINTER(VerifyOptions),
                               POINTER(VerifyScan)]),
    "verify_symbol": (c_int, [POINTER(VerifyScan), c_int, POINTER(VerifyOptions), POINTER(VerifySymbol)]),
    "verify_symbology_name": (c_char_p, [c_int]),
    "verify_parameter_name": (c_char_p, [c_int]),
    "verify_version": (c_char_p, []),
}


class LibraryNotFound(OSError):
    """A library of this project could not be loaded."""


def library_path(soname: str) -> str:
    """What to hand the loader for a library of this project."""
    libdir = os.environ.get(LIBDIR_VARIABLE)
    return os.path.join(os.path.abspath(libdir), soname) if libdir else soname


def load_library(soname: str, functions: dict) -> ctypes.CDLL:
    """Loads one of the project's libraries and declares its functions."""
    path = library_path(soname)
    try:
        lib = ctypes.CDLL(path)
    except OSError as e:
        where = (f"in {LIBDIR_VARIABLE}={os.environ[LIBDIR_VARIABLE]}"
                 if os.environ.get(LIBDIR_VARIABLE) else "on the loader path")
        raise LibraryNotFound(f"cannot load {soname} {where}: {e}") from e
    for name, (restype, argtypes) in functions.items():
        function = getattr(lib, name)
        function.restype = restype
        function.argtypes = argtypes
    return lib


@functools.lru_cache(maxsize=None)
def kestrel() -> ctypes.CDLL:
    """libkestrel, loaded on first use."""
    return load_library(KESTREL_SONAME, _KESTREL_FUNCTIONS)


@functools.lru_cache(maxsize=None)
def verify() -> ctypes.CDLL:
    """libkestrel-verify, the verifier engine, loaded on first use."""
    return load_library(VERIFY_SONAME, _VERIFY_FUNCTIONS)


class _DlInfo(ctypes.Structure):
    _fields_ = [("dli_fname", c_char_p), ("dli_fbase", ctypes.c_void_p),
                ("dli_sname", c_char_p), ("dli_saddr", ctypes.c_void_p)]


def library_directory(lib: ctypes.CDLL, symbol: str) -> str:
    """The directory that a loaded library came from."""
    libdir = os.environ.get(LIBDIR_VARIABLE)
    if libdir:
        return os.path.abspath(libdir)
    process = ctypes.CDLL(None)
    process.dladdr.argtypes = [ctypes.c_void_p, POINTER(_DlInfo)]
    info = _DlInfo()
    address = ctypes.cast(getattr(lib, symbol), ctypes.c_void_p)
    if not process.dladdr(address, ctypes.byref(info)) or not info.dli_fname:
        raise LibraryNotFound(f"cannot tell where {lib._name} was loaded from")
    return os.path.dirname(os.path.realpath(os.fsdecode(info.dli_fname)))
