"""Grading through the binding: its mirror of the engine's structures
against the header, scans from kestrel-readersim and zint's symbols, the
symbol grade, and what is refused."""

import ctypes
import os
import re
import subprocess

import pytest

import kestrel
from conftest import SOURCE_DIR, TTY_NAME, require_peers
from kestrel import Check, MsiCheck, Parameter, Symbology, _library

# ---- The structures and constants against the C header ----------------------


def header_constants():
    """Every number the header names, as the binding gives it."""
    values = {}
    for kind, prefix in ((Symbology, "VERIFY_"), (Check, "VERIFY_CHECK_"), (MsiCheck, "VERIFY_MSI_"),
                         (Parameter, "VERIFY_P_"), (kestrel.GradeResult, "VERIFY_")):
        values.update({prefix + m.name: m.value for m in kind})
    for name in ("VERIFY_PARAMETERS", "VERIFY_MAX_ELEMENTS", "VERIFY_SYMBOL_SIZE", "VERIFY_TEXT_SIZE",
                 "VERIFY_NOTATION_SIZE"):
        values[name] = getattr(_library, name)
    values["VERIFY_SYMBOLOGIES"] = len(Symbology) - 1
    values["VERIFY_WHITE_LIGHT"] = kestrel.WHITE_LIGHT
    return values


def test_structures_and_constants_are_the_headers(tmp_path):
    """A C program compiled against verify.h prints every structure's size,
    each field's offset and size and every constant; the binding's ctypes
    mirror must give the same lines."""
    include = SOURCE_DIR / "include"
    header = (include / "kestrel" / "verify.h").read_text()
    constants = header_constants()
    named = set(re.findall(r"^\s*(VERIFY_\w+) = -?\d+", header, re.M))
    named |= set(re.findall(r"^#define (VERIFY_\w+) \(?-?\d+\)?", header, re.M))
    assert named == set(constants), "constants the binding does not mirror, or mirrors in vain"

    expected, program = [], []
    for cname, struct in _library.VERIFY_STRUCTURES.items():
        expected.append(f"{cname} {ctypes.sizeof(struct)}")
        program.append(f'printf("{cname} %zu\\n", sizeof({cname}));')
        for field, _ in struct._fields_:
            member = getattr(struct, field)
            expected.append(f"{cname}.{field} {member.offset} {member.size}")
            program.append(f'printf("{cname}.{field} %zu %zu\\n", offsetof({cname}, {field}), '
                           f'sizeof((({cname} *)0)->{field}));')
    for name, value in constants.items():
        expected.append(f"{name} {value}")
        program.append(f'printf("{name} %ld\\n", (long)({name}));')
    source = tmp_path / "layout.c"
    source.write_text("#include <stddef.h>\n#include <stdio.h>\n#include <kestrel/verify.h>\n"
                      "int main(void) {\n" + "\n".join(program) + "\nreturn 0;\n}\n")
    # The compiler and the program run without the sanitizer build's preload.
    env = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}
    cc = os.environ.get("KESTREL_CC", "cc")
    build = subprocess.run([cc, "-std=c99", "-Wall", "-Werror", "-I", str(include), "-o", str(tmp_path / "layout"),
                            str(source)], capture_output=True, text=True, env=env, timeout=120)
    assert build.returncode == 0, build.stderr
    run = subprocess.run([str(tmp_path / "layout")], capture_output=True, text=True, env=env, timeout=60)
    assert run.returncode == 0
    for row, (c, python) in enumerate(zip(run.stdout.splitlines(), expected)):
        assert c == python, f"line {row}: the header says {c!r}, the binding {python!r}"
    assert len(run.stdout.splitlines()) == len(expected)


# ---- Scans from the simulator -------------------------------------------------

# Code 39 "0CSSBD" (an Italian pharmacode) with bars at 51 and spaces at 204:
# reflectance 0.2 and 0.8 through the record's default calibration.
CODE39_PROFILE = ("--text", "0CSSBD", "--low", "51", "--high", "204", "--wavelength", "590")


def test_scans_of_the_simulator_are_graded_and_feed_the_plugins(simulator, tmp_path):
    path = simulator("--announce-every", "0.3", *CODE39_PROFILE)
    kestrel.find_readers({TTY_NAME: path})
    with kestrel.open(0x100, tmp_path / "calibration.txt") as reader:
        scans = list(reader.scans(2, timeout=10))
        result = reader.grade(scans[0], elements=True)

        assert (result.decoded, result.symbology, result.symbology_name) == (True, Symbology.CODE39, "Code 39")
        assert (result.symbol, result.identifier, result.data) == ("]A00CSSBD", "]A0", "0CSSBD")
        assert (result.failure, result.reversed) == ("", False)
        sc = result.parameters[Parameter.SC]
        assert (sc.parameter, sc.name, sc.grade, sc.letter) == (Parameter.SC, "Symbol contrast", 3.3, "B")
        assert sc.value == pytest.approx(0.6)
        assert result.parameters[Parameter.RMIN].value == pytest.approx(0.2)
        assert (result.rmax, result.global_threshold) == (pytest.approx(0.8), pytest.approx(0.5))
        assert result.grade == min(p.grade for p in result.parameters) == 3.3
        assert result.letter == "B"
        assert result.module == pytest.approx(8, abs=0.5)  # the simulator's narrow module

        # The elements tile the profile, bars and spaces in turn, and the
        # quiet zones are the spaces beside the symbol's 40 bars.
        e = result.elements
        assert len(e) == result.element_total
        assert (e[0].start, e[-1].end) == (-0.5, 2047.5)
        assert all(a.end == b.start and a.bar != b.bar for a, b in zip(e, e[1:]))
        assert result.symbol_last - result.symbol_first == 2 * 40 - 2
        assert e[result.symbol_first].bar and e[result.symbol_last].bar
        left, right = result.quiet_zones
        assert (left.start, left.end) == (e[result.symbol_first - 1].start, e[result.symbol_first].start)
        assert (right.start, right.end) == (e[result.symbol_last].end, e[result.symbol_last + 1].end)
        assert left.required == right.required == pytest.approx(10 * result.module)

        # One grade whichever way the scan is given.
        plain = reader.grade(scans[0])
        assert plain.elements is None
        assert kestrel.grade(scans[0]) == plain
        assert kestrel.grade(scans[0].samples, calmin=0, calmax=0xFF00) == plain
        assert kestrel.grade(bytes(scans[0].samples), calmin=0, calmax=0xFF00) == plain
        assert kestrel.grade(scans[0].reflectance()) == plain

        accepted = [a for a in kestrel.interpret(result.symbol) if a.result == kestrel.PluginResult.ACCEPTED]
        assert [(a.plugin, a.text) for a in accepted] == [("pharma_it", "0123456764")]

        # Bare samples go through the reader's calibration now, a Scan
        # through the one it came with: white at 204 * 256 = 0xcc00.
        reader.calibrate(0, 0xCC00, 0.0, 1.0)
        now = reader.grade(scans[0].samples)
        assert (now.rmax, now.parameters[Parameter.RMIN].value) == (1.0, pytest.approx(0.25))
        assert reader.grade(scans[0]) == plain

        # The notation takes the reader's wavelength; X = 8 samples of
        # 0.05 mm = 0.4 mm chooses aperture 10.
        symbol = reader.grade_symbol(reader.scans(2, timeout=10), mm_per_sample=0.05)
        assert (symbol.scans, symbol.decoded_scans, symbol.consistent) == (2, 2, True)
        assert (symbol.symbol, symbol.symbology, symbol.failure) == ("]A00CSSBD", Symbology.CODE39, "")
        assert (symbol.aperture, symbol.x_mm) == (10, pytest.approx(symbol.module * 0.05))
        assert symbol.notation == f"{symbol.grade:.1f}/10/590"
        assert symbol.parameters[Parameter.RMIN].value == pytest.approx(0.25)

    # Without a reader: no wavelength and no X in mm.
    symbol = kestrel.grade_symbol(scans)
    assert symbol.notation == "3.3/06/?"
    assert (symbol.grade, symbol.letter, symbol.x_mm) == (3.3, "B", 0.0)


# zint's symbols served by the simulator as a row of pixels: the symbol
# drawn, what it decodes to and the plug-in that takes it.
ZINT_SYMBOLS = [
    (["-b", "CODE32", "-d", "01234567"], "]A00CSSBD", "pharma_it"),  # zint's own Italian pharmacode
    (["-b", "CODE39", "-d", "1234562"], "]A01234562", "cip39"),
    (["-b", "EANX", "-d", "991234567890"], "]E09912345678909", "ukcoupon"),  # check digit 9
]


def test_zint_symbols_served_by_the_simulator(simulator, tmp_path):
    require_peers("zint")
    for row, (zint, symbol, plugin) in enumerate(ZINT_SYMBOLS):
        image = tmp_path / f"symbol{row}.png"
        drawn = subprocess.run(["zint", *zint, "--quietzones", "--notext", "--scale=2", "-o", str(image)],
                               capture_output=True, text=True, timeout=60)
        assert drawn.returncode == 0, f"row {row}: {drawn.stderr}"
        path = simulator("--announce-every", "0.3", "--png", str(image))
        kestrel.find_readers({TTY_NAME: path})
        with kestrel.open(0x100, tmp_path / "calibration.txt") as reader:
            result = reader.grade(next(reader.scans(1, timeout=10)))
        assert (result.symbol, result.failure) == (symbol, ""), f"row {row}"
        answers = kestrel.interpret(result.symbol)
        accepted = [a.plugin for a in answers if a.result == kestrel.PluginResult.ACCEPTED]
        assert accepted == [plugin], f"row {row}: {result.symbol}"


# ---- Symbologies and options on zint's module patterns -------------------------

def zint_profile(zint_options, data):
    """Reflectances of the symbol zint draws: its module pattern (--dump),
    5 samples a module, bars 0.1, spaces 0.8, 15 modules of quiet zone."""
    dumped = subprocess.run(["zint", *zint_options, "-d", data, "--dump"], capture_output=True, text=True,
                            timeout=60)
    assert dumped.returncode == 0, dumped.stderr
    modules = "".join(f"{int(h, 16):04b}" for h in dumped.stdout.split() for h in h)
    quiet = [0.8] * 75
    return quiet + [0.1 if m == "1" else 0.8 for m in modules for _ in range(5)] + quiet


# zint's options and data, the options for the engine, and the symbol
# expected ("" when the engine must not decode it).
PATTERNS = [
    (["-b", "CODE39"], "KESTREL", {}, "]A0KESTREL"),
    (["-b", "CODE39"], "KESTREL", {"symbology": "Code 39"}, "]A0KESTREL"),
    (["-b", "CODE39"], "KESTREL", {"symbology": {"ITF", Symbology.CODABAR}}, ""),
    (["-b", "CODE39", "--vers=1"], "KESTREL", {"check": "strip", "symbology": "code39"}, "]A3KESTREL"),
    (["-b", "CODE39"], "KESTREL", {"check": Check.TRANSMIT}, ""),  # no check character
    (["-b", "C25INTER"], "12345670", {"symbology": Symbology.ITF}, "]I012345670"),
    (["-b", "C25INTER"], "12345670", {"check": "transmit"}, "]I112345670"),
    (["-b", "CODABAR"], "A123456B", {"symbology": 3}, "]F0A123456B"),
    (["-b", "MSI_PLESSEY", "--vers=1"], "1234", {"check": Check.STRIP}, "]M11234"),
    (["-b", "MSI_PLESSEY", "--vers=1"], "1234", {"check": 2, "msi_check": "mod11"}, ""),
    (["-b", "MSI_PLESSEY", "--vers=2"], "1234", {"check": "strip", "msi_check": MsiCheck.MOD10_MOD10},
     "]M11234"),
    (["-b", "DBAR_OMN"], "0950110153001", {}, "]e0" + "01" + "0950110153001" + "0"),  # GS1 check digit 0
    (["-b", "EANX"], "991234567890", {"symbology": "EAN/UPC"}, "]E09912345678909"),
    (["-b", "CODE128", "--esc"], "A\\0B", {}, "]C0A\0B"),  # a NUL byte in the data
    (["-b", "CODE93"], "KESTREL", {"symbology": "code 93"}, "]G0KESTREL"),
]


def test_symbologies_and_options_on_zint_patterns():
    require_peers("zint")
    for row, (zint, data, options, symbol) in enumerate(PATTERNS):
        profile = zint_profile(zint, data)
        result = kestrel.grade(profile, **options)
        assert (result.symbol, result.decoded) == (symbol, bool(symbol)), f"row {row}: {result.failure}"
        assert bool(result.failure) != bool(symbol), f"row {row}"
        if symbol:
            backwards = kestrel.grade(profile[::-1], **options)
            assert (backwards.symbol, backwards.reversed, result.reversed) == (symbol, True, False), f"row {row}"


def test_symbol_grade_means_and_disagreement():
    require_peers("zint")
    profile = zint_profile(["-b", "CODE39"], "KESTREL")
    # The same symbol with spaces at 0.5: SC 0.4, grade 2.0, against SC 0.7,
    # grade 4.0; one graded, one given as a profile.
    faint = [0.5 if r == 0.8 else r for r in profile]
    scans = [kestrel.grade(profile), faint]
    symbol = kestrel.grade_symbol(scans, aperture=6, wavelength=kestrel.WHITE_LIGHT)
    sc = symbol.parameters[Parameter.SC]
    assert (sc.value, sc.grade, sc.letter) == (pytest.approx(0.55), 3.0, "B")
    assert (symbol.grade, symbol.letter, symbol.consistent, symbol.symbol) == (3.0, "B", True, "]A0KESTREL")
    assert (symbol.scans, symbol.decoded_scans) == (2, 2)
    assert symbol.notation == "3.0/06/W"

    other = kestrel.grade(zint_profile(["-b", "CODE39"], "KESTREL2"))
    mixed = kestrel.grade_symbol([scans[0], other])
    assert (mixed.consistent, mixed.grade, mixed.letter) == (False, 0.0, "F")
    assert mixed.failure == "scans 1 and 2 decoded to different data"
    assert mixed.symbol == "]A0KESTREL"


# ---- What is refused ------------------------------------------------------------

FLAT = [0.5] * 16

# A call, the exception it raises and a piece of its message.
REFUSED = [
    (lambda: kestrel.grade([10, 200]), ValueError, "calmin and calmax"),
    (lambda: kestrel.grade(FLAT, calmin=0, calmax=0xFF00), ValueError, "reflectances need none"),
    (lambda: kestrel.grade([10, 256], calmin=0, calmax=0xFF00), ValueError, "0..255"),
    (lambda: kestrel.grade(b"\x10", calmin=0, calmax=0x10000), ValueError, "calmax must be a raw reading"),
    (lambda: kestrel.grade("0CSSBD"), TypeError, "not a str"),
    (lambda: kestrel.grade(FLAT, symbology="QR Code"), ValueError, "unknown symbology 'QR Code'"),
    (lambda: kestrel.grade(FLAT, symbology=[]), ValueError, "empty set"),
    (lambda: kestrel.grade(FLAT, symbology=Symbology.NONE), ValueError, "NONE"),
    (lambda: kestrel.grade(FLAT, check="sometimes"), ValueError, "unknown check"),
    (lambda: kestrel.grade(FLAT, msi_check=6), ValueError, "unknown msi_check 6"),
    (lambda: kestrel.grade_symbol([FLAT], aperture=2**31), ValueError, "out of range"),
]


def test_bad_profiles_and_options_are_refused():
    for row, (call, error, message) in enumerate(REFUSED):
        with pytest.raises(error, match=re.escape(message)):
            call()
            pytest.fail(f"row {row} accepted")


# What the engine refuses: its code and its reason reach the caller.
ENGINE_REFUSALS = [
    (lambda: kestrel.grade([0.5, float("nan")]), kestrel.GradeResult.ERR_PROFILE,
     "the profile holds a value that is not a finite number"),
    (lambda: kestrel.grade_symbol([]), kestrel.GradeResult.ERR_ARGUMENT, "no scans"),
    (lambda: kestrel.grade_symbol([FLAT], aperture=-3), kestrel.GradeResult.ERR_ARGUMENT, "negative aperture -3"),
]


def test_engine_refusals_carry_its_code_and_reason():
    for row, (call, code, reason) in enumerate(ENGINE_REFUSALS):
        with pytest.raises(kestrel.GradeError) as refused:
            call()
            pytest.fail(f"row {row} accepted")
        assert (refused.value.code, refused.value.meaning) == (code, reason), f"row {row}"
        assert isinstance(refused.value, ValueError)
