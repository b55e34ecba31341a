"""Offering symbols to the plug-in modules through the binding."""

import pytest

import kestrel

PLUGINS = ["cip39", "fullascii39", "pharma_be", "pharma_it", "ukcoupon"]


def test_every_plugin_answers_and_pharma_it_accepts():
    answers = kestrel.interpret("]A00CSSBD")
    assert [a.plugin for a in answers] == PLUGINS
    by_plugin = {a.plugin: a for a in answers}
    assert by_plugin["pharma_it"] == kestrel.Answer("pharma_it", kestrel.PluginResult.ACCEPTED,
                                                    "'Italian' Pharma code", "0123456764")
    assert by_plugin["ukcoupon"].result == kestrel.PluginResult.NOT_MINE
    assert kestrel.interpret(b"]A00CSSBD") == answers


def test_texts_are_iso_8859_1():
    # The UK coupon's text holds a pound sign, byte 0xA3.
    coupon = {a.plugin: a for a in kestrel.interpret("]E09912345678905")}["ukcoupon"]
    assert coupon.result == kestrel.PluginResult.ACCEPTED
    assert coupon.text == "1234 567 \u00a38.90 "


def test_symbology_letter_and_data_reach_the_plugins():
    # Code 128 ("C") is no plug-in's symbology, whatever the data.
    assert {a.result for a in kestrel.interpret("]C00CSSBD")} == {kestrel.PluginResult.NOT_MINE}
    # A wrong check character is pharma_it's format, but invalid.
    pharma = {a.plugin: a for a in kestrel.interpret("]A00CSSBE")}["pharma_it"]
    assert pharma.result == kestrel.PluginResult.REJECTED


BAD_SYMBOLS = [
    "A00CSSBD",      # no "]"
    "]A",            # no modifier
    "",
    "]A0\u20ac",     # the euro sign is not ISO 8859-1
]


def test_malformed_symbols_are_refused():
    for row, symbol in enumerate(BAD_SYMBOLS):
        with pytest.raises(ValueError):
            kestrel.interpret(symbol)
            pytest.fail(f"row {row}: {symbol!r} accepted")


def test_a_directory_without_modules(tmp_path):
    (tmp_path / "notes.txt").write_text("not a module")
    (tmp_path / "broken.so").write_bytes(b"not an ELF file")
    with pytest.raises(FileNotFoundError, match="no plug-in modules"):
        kestrel.interpret("]A00CSSBD", plugin_dir=tmp_path)
