"""Kestrel for Python: the barcode verifier's reader and its plug-ins.

A pure-Python binding over ctypes of libkestrel (readers, scans,
calibration) and of the symbology application plug-in modules. The
libraries are looked for in KESTREL_LIBDIR when that variable is set, else
through the system's loader path.

The library keeps one reader per process: open one reader at a time, from
one thread.
"""

from .errors import KestrelError, ReaderBusyError, Result, ScanError, ScanTimeout
from ._library import LibraryNotFound
from .plugins import Answer, PluginResult, interpret, plugin_directory
from .reader import FoundReader, Reader, ReaderInfo, Scan, find_readers, open

__version__ = "1.0.0"

__all__ = [
    "Answer", "FoundReader", "KestrelError", "LibraryNotFound", "PluginResult", "Reader",
    "ReaderBusyError", "ReaderInfo", "Result", "Scan", "ScanError", "ScanTimeout",
    "find_readers", "interpret", "open", "plugin_directory",
]
