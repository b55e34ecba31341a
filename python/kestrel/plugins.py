"""Offering a decoded symbol to the symbology application plug-ins.

Each plug-in module <name>.so exports the entry KorvelVerifierPlugIn. The
modules lie beside the library in a build tree and under lib/kestrel/plugins
of an installed tree; the binding finds them from the library's directory
the way the kestrel program finds them from its own.
"""

from __future__ import annotations

import ctypes
import dataclasses
import enum
import os
from ctypes import POINTER, c_byte, c_char_p, c_int, c_ubyte
from typing import Dict, List, Optional, Tuple, Union

from . import _library
from .grading import Symbology

_ENTRY = "KorvelVerifierPlugIn"
_COUNTED_MAX = 255

# Symbology identifier letters (ISO/IEC 15424, after "]") and the plug-ins'
# symbology codes; case matters. Any other letter is Symbology.NONE, which
# no plug-in claims.
_SYMBOLOGY_CODES = {
    "E": Symbology.EAN_UPC, "A": Symbology.CODE39, "I": Symbology.ITF, "F": Symbology.CODABAR,
    "C": Symbology.CODE128, "e": Symbology.DATABAR, "M": Symbology.MSI, "G": Symbology.CODE93,
}

_ENTRY_TYPE = ctypes.CFUNCTYPE(c_int, c_int, c_char_p, POINTER(c_ubyte), POINTER(c_ubyte), c_byte)


class PluginResult(enum.IntEnum):
    """A plug-in's verdict on the data."""

    REJECTED = -1
    NOT_MINE = 0
    ACCEPTED = 1


@dataclasses.dataclass(frozen=True)
class Answer:
    """One plug-in's answer: the module's name, its result (a
    :class:`PluginResult`, or the plain number when it is none of them),
    its display name and its interpretation text."""

    plugin: str
    result: int
    name: str
    text: str


# Loaded modules by directory: (name, entry) pairs in name order. A module
# stays loaded for the life of the process, as the kestrel program keeps its.
_loaded: Dict[str, List[Tuple[str, object]]] = {}


def plugin_directory() -> str:
    """Where the plug-in modules are: lib/kestrel/plugins of an installed
    tree (found from the library's directory), else the library's own
    directory, as in a build tree."""
    libdir = _library.library_directory(_library.kestrel(), "reader_poll")
    for candidate in (os.path.join(libdir, "kestrel", "plugins"),
                      os.path.join(os.path.dirname(libdir), "kestrel", "plugins")):
        if os.path.isdir(candidate):
            return candidate
    return libdir


def _modules(directory: str) -> List[Tuple[str, object]]:
    if directory in _loaded:
        return _loaded[directory]
    try:
        files = sorted(f for f in os.listdir(directory) if f.endswith(".so") and not f.startswith("lib"))
    except OSError as e:
        raise FileNotFoundError(f"no plug-in directory {directory}: {e.strerror}") from e
    modules = []
    for f in files:
        try:
            module = ctypes.CDLL(os.path.join(directory, f), mode=os.RTLD_LOCAL)
            entry = _ENTRY_TYPE((_ENTRY, module))
        except (OSError, AttributeError):
            continue  # not loadable, or no plug-in entry
        modules.append((f[:-3], entry))
    if not modules:
        raise FileNotFoundError(f"no plug-in modules in {directory}")
    _loaded[directory] = modules
    return modules


def _parse(symbol: Union[str, bytes]) -> Tuple[int, bytes]:
    if isinstance(symbol, str):
        try:
            symbol = symbol.encode("latin-1")
        except UnicodeEncodeError as e:
            raise ValueError(f"the symbol holds a character outside ISO 8859-1: {symbol[e.start]!r}") from e
    if not symbol.startswith(b"]"):
        raise ValueError("a symbol starts with ']' and the symbology identifier, e.g. ']A0DATA'")
    if len(symbol) < 3:
        raise ValueError("a symbol needs the identifier letter and a modifier after ']', e.g. ']A0DATA'")
    code = _SYMBOLOGY_CODES.get(chr(symbol[1]), Symbology.NONE)
    return code, symbol[3:3 + _COUNTED_MAX]


def interpret(symbol: Union[str, bytes], plugin_dir: Optional[Union[str, os.PathLike]] = None) -> List[Answer]:
    """Offers a decoded symbol to every plug-in module and returns their
    answers in module name order.

    ``symbol`` is "]", the symbology identifier letter, its modifier and the
    data, e.g. "]A00CSSBD" (Code 39 data "0CSSBD"), as ISO 8859-1 text or
    bytes; data past 255 bytes is cut. Texts are decoded from ISO 8859-1.
    ``plugin_dir`` overrides where the modules are looked for.
    Raises ValueError for a malformed symbol and FileNotFoundError when no
    plug-in module is found.
    """
    code, data = _parse(symbol)
    directory = os.fspath(plugin_dir) if plugin_dir is not None else plugin_directory()
    counted = bytes([len(data)]) + data
    answers = []
    for plugin, entry in _modules(directory):
        name = (c_ubyte * 256)()
        text = (c_ubyte * 256)()
        result = entry(code, counted, name, text, 0)
        try:
            result = PluginResult(result)
        except ValueError:
            pass
        answers.append(Answer(plugin, result, bytes(name[1:1 + name[0]]).decode("latin-1"),
                              bytes(text[1:1 + text[0]]).decode("latin-1")))
    return answers
