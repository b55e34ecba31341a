"""Grading scans with the verifier engine, libkestrel-verify.

:func:`grade` decodes one scan profile and grades it by ISO/IEC 15416;
:func:`grade_symbol` gives the overall grade of a symbol from several
scans. The engine knows no reader and keeps nothing between calls, so
these work with or without an open reader, from any thread.
"""

from __future__ import annotations

import ctypes
import dataclasses
import enum
import functools
import numbers
from typing import Dict, Iterable, List, Optional, Tuple, Type, TypeVar, Union

from . import _library
from .errors import GradeError, GradeResult
from .reader import Scan, check_raw_reading


class Symbology(enum.IntEnum):
    """The symbologies, numbered as the plug-ins' symbology codes, so that
    a decoded symbol goes to a plug-in unchanged."""

    NONE = -1
    EAN_UPC = 0
    CODE39 = 1
    ITF = 2  # Interleaved 2 of 5, ITF-14 included
    CODABAR = 3
    CODE128 = 4
    DATABAR = 5  # GS1 DataBar Omnidirectional
    MSI = 6
    CODE93 = 7


class Check(enum.IntEnum):
    """What the engine does with the optional check character of Code 39,
    Interleaved 2 of 5 and MSI."""

    NONE = 0  # not verified; everything read is data
    TRANSMIT = 1  # verified (a symbol without a right one fails) and kept in the data
    STRIP = 2  # verified and taken out of the data


class MsiCheck(enum.IntEnum):
    """MSI check-digit schemes, used when the check is not Check.NONE."""

    MOD10 = 0  # modulo 10 (Luhn)
    MOD10_MOD10 = 1  # modulo 10, then modulo 10 over data and first check
    MOD11 = 2  # modulo 11, weights 2 to 7 from the right
    MOD11_MOD10 = 3
    MOD11_NCR = 4  # modulo 11, weights 2 to 9 from the right
    MOD11_NCR_MOD10 = 5


class Parameter(enum.IntEnum):
    """The graded parameters; they index ``parameters`` of a result."""

    DECODE = 0  # value 1 decoded, 0 not
    RMIN = 1  # lowest reflectance
    SC = 2  # symbol contrast Rmax - Rmin
    ECMIN = 3  # smallest edge contrast, quiet zones included
    MOD = 4  # modulation ECmin / SC
    DEFECTS = 5  # ERNmax / SC
    DECODABILITY = 6
    QUIET_ZONE = 7  # smaller of measured/required of the two sides


#: ``wavelength`` of white light, written "W" in the notation.
WHITE_LIGHT = -1

# An option or profile value that goes into a C int.
_INT_MIN, _INT_MAX = -(2**31), 2**31 - 1


@dataclasses.dataclass(frozen=True)
class ParameterGrade:
    """A parameter's value, its grade (0.0 to 4.0, one decimal) and the
    grade's letter (A to F); in a :class:`SymbolGrade`, the mean value and
    the mean grade over the scans."""

    parameter: Parameter
    name: str
    value: float
    grade: float
    letter: str


@dataclasses.dataclass(frozen=True)
class Element:
    """A bar or a space. Positions are in samples, sample i centred on i;
    ``reflectance`` is a space's highest (Rs) or a bar's lowest (Rb), ``ern``
    its reflectance non-uniformity."""

    start: float
    end: float
    reflectance: float
    ern: float
    bar: bool


@dataclasses.dataclass(frozen=True)
class QuietZone:
    """The space beside the symbol, in samples, and the least width the
    symbology asks there."""

    start: float
    end: float
    required: float

    @property
    def width(self) -> float:
        return self.end - self.start


class _DecodedSymbol:
    """The parts of a decoded symbol such as "]A00CSSBD"."""

    symbol: str

    @property
    def identifier(self) -> str:
        """The symbology identifier, e.g. "]A0"; "" when nothing decoded."""
        return self.symbol[:3]

    @property
    def data(self) -> str:
        """The data after the identifier, e.g. "0CSSBD"."""
        return self.symbol[3:]


@dataclasses.dataclass(frozen=True)
class ScanGrade(_DecodedSymbol):
    """One graded scan.

    ``grade`` is the scan grade, the lowest parameter grade, with its
    ``letter``; ``parameters[Parameter.SC]`` and so on each parameter's
    value and grade. ``symbol`` is the decoded symbol as the plug-ins take
    it ("]", identifier letter, modifier, data; decoded from ISO 8859-1, ""
    when nothing decoded), ready for :func:`kestrel.interpret`.
    ``reversed`` tells that it was read from the profile's end; ``module``
    is the X-dimension in samples. ``symbol_first`` and ``symbol_last``
    index the symbol's first and last bar among the profile's elements and
    ``quiet_zones`` are the spaces before and after it (None, and -1, when
    nothing decoded). ``elements`` holds the profile's bars and spaces when
    asked for (at most 2048 of ``element_total``), else None. ``failure``
    says why nothing decoded.
    """

    grade: float
    letter: str
    parameters: Tuple[ParameterGrade, ...]
    rmax: float
    global_threshold: float
    decoded: bool
    symbology: Symbology
    symbology_name: str
    symbol: str
    reversed: bool
    module: float
    symbol_first: int
    symbol_last: int
    quiet_zones: Optional[Tuple[QuietZone, QuietZone]]
    element_total: int
    elements: Optional[Tuple[Element, ...]]
    failure: str
    # The engine's structure up to its element table, for grade_symbol.
    _kept: bytes = dataclasses.field(repr=False, compare=False)


@dataclasses.dataclass(frozen=True)
class SymbolGrade(_DecodedSymbol):
    """The overall grade of a symbol over several scans.

    ``grade`` is the mean of the scan grades (cut to one decimal) with its
    ``letter``, 0 when decoded scans disagree (``consistent`` False, the
    reason in ``failure``); ``parameters`` the mean of each parameter.
    ``symbol`` is the first decoded scan's; ``module`` the mean X-dimension
    in samples, ``x_mm`` the same in mm (0 without ``mm_per_sample``).
    ``notation`` is grade/aperture/wavelength, e.g. "2.8/06/660".
    """

    scans: int
    decoded_scans: int
    consistent: bool
    grade: float
    letter: str
    parameters: Tuple[ParameterGrade, ...]
    symbology: Symbology
    symbology_name: str
    symbol: str
    module: float
    x_mm: float
    aperture: int
    notation: str
    failure: str


Profile = Union[Scan, bytes, bytearray, memoryview, Iterable[int], Iterable[float]]
E = TypeVar("E", bound=enum.IntEnum)


def _key(name: str) -> str:
    # "Code 39", "code39" and "CODE39" are one name.
    return "".join(c for c in name.lower() if c.isalnum())


@functools.lru_cache(maxsize=None)
def _symbology_name(code: int) -> str:
    return _library.verify().verify_symbology_name(code).decode("latin-1")


@functools.lru_cache(maxsize=None)
def _parameter_name(parameter: int) -> str:
    return _library.verify().verify_parameter_name(parameter).decode("latin-1")


@functools.lru_cache(maxsize=None)
def _symbology_names() -> Dict[str, Symbology]:
    names = {}
    for s in Symbology:
        if s is not Symbology.NONE:
            names[_key(s.name)] = s
            names[_key(_symbology_name(s))] = s
    return names


def _member(kind: Type[E], value: object, option: str, names: Optional[Dict[str, E]] = None) -> E:
    """An enumeration member from itself, its number or its name."""
    if names is None:
        names = {_key(m.name): m for m in kind}
    if isinstance(value, str):
        if _key(value) in names:
            return names[_key(value)]
    elif isinstance(value, numbers.Integral) and not isinstance(value, bool):
        try:
            return kind(value)
        except ValueError:
            pass
    else:
        raise TypeError(f"{option} is a name or a number, not {value!r}")
    known = ", ".join(sorted({m.name.lower() for m in names.values()}))
    raise ValueError(f"unknown {option} {value!r}; known: {known}")


def _symbology_mask(symbology: object) -> int:
    if symbology is None:
        return 0
    chosen = [symbology] if isinstance(symbology, (str, numbers.Integral)) else list(symbology)
    if not chosen:
        raise ValueError("an empty set of symbologies; give None for all of them")
    mask = 0
    for s in chosen:
        member = _member(Symbology, s, "symbology", _symbology_names())
        if member is Symbology.NONE:
            raise ValueError("Symbology.NONE is no symbology to decode")
        mask |= 1 << member
    return mask


def _c_int(option: str, value: object) -> int:
    if isinstance(value, bool) or not isinstance(value, numbers.Integral):
        raise TypeError(f"{option} is a whole number, not {value!r}")
    if not _INT_MIN <= value <= _INT_MAX:
        raise ValueError(f"{option} {value} is out of range")
    return int(value)


def _options(symbology: object = None, check: object = Check.NONE, msi_check: object = MsiCheck.MOD10,
             aperture: int = 0, wavelength: Optional[int] = None,
             mm_per_sample: float = 0.0) -> _library.VerifyOptions:
    options = _library.VerifyOptions()
    options.symbologies = _symbology_mask(symbology)
    options.check = _member(Check, check, "check")
    options.msi_check = _member(MsiCheck, msi_check, "msi_check")
    options.aperture = _c_int("aperture", aperture)
    options.wavelength = 0 if wavelength is None else _c_int("wavelength", wavelength)
    if isinstance(mm_per_sample, bool) or not isinstance(mm_per_sample, numbers.Real):
        raise TypeError(f"mm_per_sample is a number, not {mm_per_sample!r}")
    options.mm_per_sample = float(mm_per_sample)
    return options


def normalize_profile(profile: Profile) -> Union[Scan, bytes, List[float]]:
    """A :class:`Scan` as it is, samples as bytes, reflectances as a list.

    Bytes-like objects and sequences of whole numbers are samples (0..255);
    sequences holding any other number are reflectances.
    """
    if isinstance(profile, Scan):
        return profile
    if isinstance(profile, (bytes, bytearray, memoryview)):
        return bytes(profile)
    if isinstance(profile, str):
        raise TypeError("a profile is samples or reflectances, not a str")
    values = list(profile)
    if all(isinstance(v, numbers.Integral) and not isinstance(v, bool) for v in values):
        try:
            return bytes(values)
        except ValueError:
            raise ValueError("samples are whole numbers 0..255") from None
    return values


def _raise_for(operation: str, code: int, failure: bytes) -> None:
    if code == GradeResult.OK:
        return
    reason = failure.decode("latin-1") or "refused"
    if code == GradeResult.ERR_INTERNAL:
        raise MemoryError(f"{operation}: {reason}")
    try:
        code = GradeResult(code)
    except ValueError:
        pass
    raise GradeError(operation, code, reason)


def _text(field: bytes) -> str:
    return field.decode("latin-1")


def _symbol(raw: ctypes.Array, length: int) -> str:
    return bytes(raw)[:max(length, 0)].decode("latin-1")


def _symbology(code: int) -> Union[Symbology, int]:
    try:
        return Symbology(code)
    except ValueError:
        return code  # one this binding does not name yet


def _parameters(params: ctypes.Array) -> Tuple[ParameterGrade, ...]:
    return tuple(ParameterGrade(p, _parameter_name(p), params[p].value, params[p].grade, _text(params[p].letter))
                 for p in Parameter)


# A graded scan keeps the engine's structure without its element table
# (80 KB of its 82), which the symbol grade does not read; grade_symbol puts
# it back with element_count 0.
_KEPT_SIZE = _library.VerifyScan.element.offset


def _scan_grade(scan: _library.VerifyScan, elements: bool) -> ScanGrade:
    decoded = bool(scan.decoded)
    quiet = None
    if decoded:
        quiet = tuple(QuietZone(scan.quiet_start[i], scan.quiet_end[i], scan.quiet_required[i]) for i in (0, 1))
    element_list = None
    if elements:
        element_list = tuple(Element(e.start, e.end, e.reflectance, e.ern, bool(e.bar))
                             for e in scan.element[:scan.element_count])
    return ScanGrade(
        grade=scan.grade, letter=_text(scan.letter), parameters=_parameters(scan.param), rmax=scan.rmax,
        global_threshold=scan.gt, decoded=decoded, symbology=_symbology(scan.symbology),
        symbology_name=_symbology_name(scan.symbology), symbol=_symbol(scan.symbol, scan.symbol_length),
        reversed=bool(scan.reversed), module=scan.module, symbol_first=scan.symbol_first,
        symbol_last=scan.symbol_last, quiet_zones=quiet, element_total=scan.element_total,
        elements=element_list, failure=_text(scan.failure),
        _kept=ctypes.string_at(ctypes.addressof(scan), _KEPT_SIZE))


def _grade(profile: Profile, calmin: Optional[int], calmax: Optional[int],
           options: _library.VerifyOptions, elements: bool) -> ScanGrade:
    profile = normalize_profile(profile)
    if isinstance(profile, Scan):
        calmin = profile.calmin if calmin is None else calmin
        calmax = profile.calmax if calmax is None else calmax
        profile = bytes(profile.samples)
    lib = _library.verify()
    scan = _library.VerifyScan()
    if isinstance(profile, bytes):
        if calmin is None or calmax is None:
            raise ValueError("samples need calmin and calmax, the raw readings of reflectance 0 and 1 "
                             "(a Scan brings its own; Reader.grade takes the open reader's)")
        check_raw_reading("calmin", calmin)
        check_raw_reading("calmax", calmax)
        samples = (ctypes.c_ubyte * len(profile)).from_buffer_copy(profile)
        operation = "verify_samples"
        r = lib.verify_samples(samples, len(profile), calmin, calmax, ctypes.byref(options), ctypes.byref(scan))
    else:
        if calmin is not None or calmax is not None:
            raise ValueError("calmin and calmax calibrate samples; reflectances need none")
        values = (ctypes.c_double * len(profile))(*profile)
        operation = "verify_profile"
        r = lib.verify_profile(values, len(profile), ctypes.byref(options), ctypes.byref(scan))
    _raise_for(operation, r, scan.failure)
    return _scan_grade(scan, elements)


def grade(profile: Profile, *, calmin: Optional[int] = None, calmax: Optional[int] = None,
          symbology: object = None, check: object = Check.NONE, msi_check: object = MsiCheck.MOD10,
          elements: bool = False) -> ScanGrade:
    """Decodes a scan profile and grades it; returns a :class:`ScanGrade`.

    ``profile`` is a :class:`Scan`, graded through the calibration it came
    with; or samples 0..255 (bytes, or a sequence of whole numbers) with
    ``calmin`` and ``calmax``, the raw readings of reflectance 0 and 1 (a
    sample s reads 256·s); or reflectances 0..1 (a sequence of floats).
    ``calmin``/``calmax`` given for a Scan override its calibration.

    ``symbology`` limits the symbologies tried: a :class:`Symbology`, its
    number or name ("CODE39", "Code 39"), or a set of them; None tries
    every one. ``check`` (:class:`Check`) and ``msi_check``
    (:class:`MsiCheck`) say what to do with optional check characters.
    ``elements=True`` fills ``elements`` with the profile's bars and spaces.

    A profile without a symbol is no error: it grades 0 with the reason in
    ``failure``. Bad options or values raise ValueError or TypeError;
    :class:`GradeError` (a ValueError) carries the engine's code and reason,
    e.g. for a reflectance that is not a finite number.
    """
    return _grade(profile, calmin, calmax, _options(symbology, check, msi_check), elements)


def grade_symbol(scans: Iterable[Union[ScanGrade, Profile]], *, aperture: int = 0,
                 wavelength: Optional[int] = None, mm_per_sample: float = 0.0,
                 calmin: Optional[int] = None, calmax: Optional[int] = None, symbology: object = None,
                 check: object = Check.NONE, msi_check: object = MsiCheck.MOD10) -> SymbolGrade:
    """Grades a symbol over several scans; returns a :class:`SymbolGrade`.

    ``scans`` are results of :func:`grade`, or profiles that are graded
    here as :func:`grade` would with ``calmin``, ``calmax``, ``symbology``,
    ``check`` and ``msi_check``. The standard asks for at least ten scans
    at different heights through the bars; the caller decides how many.

    The notation grade/aperture/wavelength takes ``aperture`` (its
    reference number, the diameter in mils: 3, 5, 6, 10, 20...; 0 chooses
    it from the X-dimension), ``wavelength`` in nm (:data:`WHITE_LIGHT` for
    white light, None when unknown) and ``mm_per_sample``, the distance
    between two samples on the symbol (0 when unknown), which gives the
    X-dimension in mm. No scan at all raises :class:`GradeError`.
    """
    options = _options(symbology, check, msi_check, aperture, wavelength, mm_per_sample)
    graded = [s if isinstance(s, ScanGrade) else _grade(s, calmin, calmax, options, False) for s in scans]
    array = (_library.VerifyScan * len(graded))()
    size = ctypes.sizeof(_library.VerifyScan)
    for i, g in enumerate(graded):
        ctypes.memmove(ctypes.addressof(array) + i * size, g._kept, _KEPT_SIZE)
        array[i].element_count = 0
        array[i].failure = g.failure.encode("latin-1")
    symbol = _library.VerifySymbol()
    r = _library.verify().verify_symbol(array, len(graded), ctypes.byref(options), ctypes.byref(symbol))
    _raise_for("verify_symbol", r, symbol.failure)
    return SymbolGrade(
        scans=symbol.scans, decoded_scans=symbol.decoded_scans, consistent=bool(symbol.consistent),
        grade=symbol.grade, letter=_text(symbol.letter), parameters=_parameters(symbol.mean),
        symbology=_symbology(symbol.symbology), symbology_name=_symbology_name(symbol.symbology),
        symbol=_symbol(symbol.symbol, symbol.symbol_length), module=symbol.module, x_mm=symbol.x_mm,
        aperture=symbol.aperture, notation=_text(symbol.notation), failure=_text(symbol.failure))
