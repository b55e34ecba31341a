"""Kestrel for Python: the barcode verifier's reader, its engine and its
plug-ins.

A pure-Python binding over ctypes of libkestrel (readers, scans,
calibration), of libkestrel-verify (decoding and grading scans) and of the
symbology application plug-in modules. The libraries are looked for in
KESTREL_LIBDIR when that variable is set, else through the system's loader
path.

The library keeps one reader per process: open one reader at a time, from
one thread.
"""

from .errors import GradeError, GradeResult, KestrelError, ReaderBusyError, Result, ScanError, ScanTimeout
from ._library import LibraryNotFound
from .grading import (WHITE_LIGHT, Check, Element, MsiCheck, Parameter, ParameterGrade, QuietZone, ScanGrade,
                      SymbolGrade, Symbology, grade, grade_symbol)
from .plugins import Answer, PluginResult, interpret, plugin_directory
from .reader import FoundReader, Reader, ReaderInfo, Scan, find_readers, open

__version__ = "1.0.0"

__all__ = [
    "Answer", "Check", "Element", "FoundReader", "GradeError", "GradeResult", "KestrelError",
    "LibraryNotFound", "MsiCheck", "Parameter", "ParameterGrade", "PluginResult", "QuietZone", "Reader",
    "ReaderBusyError", "ReaderInfo", "Result", "Scan", "ScanError", "ScanGrade", "ScanTimeout",
    "SymbolGrade", "Symbology", "WHITE_LIGHT", "find_readers", "grade", "grade_symbol", "interpret",
    "open", "plugin_directory",
]
