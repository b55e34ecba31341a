"""Finding, opening, scanning and calibrating through the binding, against
kestrel-readersim on a pseudo-terminal."""

import os
import signal
import subprocess
import sys
import textwrap

import pytest

import kestrel
from conftest import PYTHON_DIR, TTY_NAME

# A profile whose bars read 51 and spaces 204, without blur.
PROFILE = ("--low", "51", "--high", "204", "--blur", "0")


def test_find_open_scan_calibrate_and_reload(simulator, tmp_path):
    path = simulator("--serial", "0x2345", "--announce-every", "0.3", *PROFILE)
    readers = kestrel.find_readers({TTY_NAME: path})
    assert [(r.id, r.serial, r.port) for r in readers] == [(0x100, 0x2345, path)]
    assert readers[0].info.SerialNumber == 0x2345
    assert readers[0].info.NumOfSamples == 2048

    calfile = tmp_path / "cal" / "calibration.txt"
    with kestrel.open(readers[0], calfile=calfile) as reader:
        info = reader.info
        assert (info.SerialNumber, info.Wavelength, info.calmin, info.calmax) == (0x2345, 660, 0, 0xFF00)
        scans = list(reader.scans(2, timeout=10))
        assert len(scans) == 2
        for scan in scans:
            assert len(scan.samples) == 2048
            assert (min(scan.samples), max(scan.samples)) == (51, 204)
            reflectance = scan.reflectance()
            assert min(reflectance) == pytest.approx(0.2)
            assert max(reflectance) == pytest.approx(0.8)

        # Black at raw 0, white at 0xcc00 = 204 * 256: spaces read 1.0.
        info = reader.calibrate(0, 0xCC00, 0.0, 1.0, extra="rig 7")
        assert (info.calmin, info.calmax) == (0, 0xCC00)
        assert info.lastcal > 0
        scan = next(reader.scans(1, timeout=10))
        assert max(scan.reflectance()) == pytest.approx(1.0)
        assert min(scan.reflectance()) == pytest.approx(0.25)

    lines = calfile.read_text().splitlines()
    assert lines[0].startswith("calib.2345:660=0000,cc00 0.000000,1.000000 ")
    assert lines[0].endswith(" rig 7")

    # A new activation loads the kept calibration.
    with kestrel.open(0x100, calfile=str(calfile)) as reader:
        assert (reader.info.calmin, reader.info.calmax) == (0, 0xCC00)


def test_one_reader_per_process(simulator, tmp_path):
    path = simulator()
    assert len(kestrel.find_readers({TTY_NAME: path})) == 1
    calfile = tmp_path / "calibration.txt"
    with kestrel.open(0x100, calfile) as reader:
        with pytest.raises(kestrel.ReaderBusyError):
            kestrel.open(0x100, calfile)
        # Discovery would take the open reader's line.
        with pytest.raises(kestrel.ReaderBusyError):
            kestrel.find_readers({TTY_NAME: path})
    with pytest.raises(ValueError):
        reader.info
    reader.close()  # a second close does nothing
    with kestrel.open(0x100, calfile) as again:
        assert again.info.SerialNumber == 0x1234


def test_missing_and_silent_readers(simulator, tmp_path):
    calfile = tmp_path / "calibration.txt"
    assert kestrel.find_readers({TTY_NAME: str(tmp_path / "no-such-tty")}) == []
    with pytest.raises(kestrel.KestrelError) as missing:
        kestrel.open(0x100, calfile)
    assert missing.value.code == kestrel.Result.EX_IOERR
    assert missing.value.meaning == "cannot open or configure the reader's port"
    assert "(74)" in str(missing.value)

    silent = simulator("--silent")
    assert kestrel.find_readers({TTY_NAME: silent}) == []
    with pytest.raises(kestrel.KestrelError) as quiet:
        kestrel.open(0x100, calfile)
    assert quiet.value.code == kestrel.Result.READ_FAILED

    # Discovery recorded one device only: index 1 has no path.
    with pytest.raises(kestrel.KestrelError) as unknown:
        kestrel.open(0x101, calfile)
    assert unknown.value.code == kestrel.Result.EX_UNAVAILABLE
    # The failed activations left no reader open: a working one opens.
    working = simulator()
    assert len(kestrel.find_readers({TTY_NAME: working})) == 1
    with kestrel.open(0x100, calfile) as reader:
        assert reader.info.SerialNumber == 0x1234


def test_scan_timeout_and_failed_transfer(simulator, tmp_path):
    # A reader that never announces a scan.
    path = simulator()
    kestrel.find_readers({TTY_NAME: path})
    with kestrel.open(0x100, tmp_path / "calibration.txt") as reader:
        with pytest.raises(kestrel.ScanTimeout) as waited:
            next(reader.scans(1, timeout=0.5))
        assert waited.value.code == kestrel.Result.TIMEOUT
        assert isinstance(waited.value, TimeoutError)

    # A reader that sends only the start of each scan frame.
    path = simulator("--announce-every", "0.3", "--frame-cut", "100")
    kestrel.find_readers({TTY_NAME: path})
    with kestrel.open(0x100, tmp_path / "calibration.txt") as reader:
        with pytest.raises(kestrel.ScanError) as failed:
            next(reader.scans(1, timeout=10))
        assert failed.value.code == -2


# calibrate arguments that a reader must refuse before anything changes.
BAD_CALIBRATIONS = [
    (-1, 50000, 0.05, 0.85, ""),      # raw reading below 0
    (3000, 65536, 0.05, 0.85, ""),    # raw reading above 65535
    (3000.5, 50000, 0.05, 0.85, ""),  # raw reading not a whole number
    (3000, 50000, -0.1, 0.85, ""),    # reflectance below 0
    (3000, 50000, 0.05, 1.5, ""),     # reflectance above 1
    (3000, 50000, 0.05, float("nan"), ""),
    (50000, 3000, 0.05, 0.85, ""),    # dark above light
    (3000, 50000, 0.85, 0.05, ""),
    (3000, 3000, 0.05, 0.85, ""),     # one point twice
    (3000, 50000, 0.05, 0.85, "a\0b"),
]


def test_calibrate_refuses_bad_references_and_keeps_the_file(simulator, tmp_path):
    path = simulator()
    kestrel.find_readers({TTY_NAME: path})
    calfile = tmp_path / "calibration.txt"
    with kestrel.open(0x100, calfile) as reader:
        for row, args in enumerate(BAD_CALIBRATIONS):
            with pytest.raises(ValueError, match=".+"):
                reader.calibrate(*args)
                pytest.fail(f"row {row}: {args} accepted")
            assert (reader.info.calmin, reader.info.calmax) == (0, 0xFF00), f"row {row}: {args}"
    assert not calfile.exists()


def test_interrupt_stops_the_reader_and_closes_the_line(simulator, tmp_path):
    """A real SIGINT during a wait for scans: leaving the with block stops
    the reader, so the library has no current reader, and the same reader
    opens again at once."""
    path = simulator("--announce-every", "0.2")
    script = textwrap.dedent(f"""
        import ctypes, kestrel
        from kestrel import _library
        kestrel.find_readers({{{TTY_NAME!r}: {path!r}}})
        try:
            with kestrel.open(0x100, {str(tmp_path / "cal.txt")!r}) as reader:
                for i, scan in enumerate(reader.scans(100000, timeout=30)):
                    if i == 0:
                        print("scanning", flush=True)
        except KeyboardInterrupt:
            record = _library.ReaderInfoRecord()
            print("after interrupt:", _library.kestrel().reader_info(ctypes.byref(record)), flush=True)
        with kestrel.open(0x100, {str(tmp_path / "cal.txt")!r}) as reader:
            print("reopened:", len(next(reader.scans(1, timeout=10)).samples), flush=True)
    """)
    child = subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                             text=True, env=dict(os.environ, PYTHONPATH=str(PYTHON_DIR)))
    try:
        assert child.stdout.readline() == "scanning\n"
        child.send_signal(signal.SIGINT)
        out, err = child.communicate(timeout=60)
    finally:
        child.kill()
        child.wait()
    assert child.returncode == 0, err
    assert out.splitlines() == ["after interrupt: -103", "reopened: 2048"]
