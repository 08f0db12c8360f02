#!/usr/bin/env python3
"""The canonical form of exported .reg files: order does not count, types and
bytes do."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import regcanon  # noqa: E402

HEADER = "Windows Registry Editor Version 5.00\r\n\r\n"


def canon(body):
    return regcanon.canonical(HEADER + body)


class CanonicalForm(unittest.TestCase):
    def test_key_and_value_order_do_not_count(self):
        ours = ('[HKEY_LOCAL_MACHINE\\S\\B]\r\n"DataType"="String"\r\n"Data"="x"\r\n\r\n'
                '[HKEY_LOCAL_MACHINE\\S\\a_]\r\n\r\n[HKEY_LOCAL_MACHINE\\S]\r\n\r\n')
        wines = ('[HKEY_LOCAL_MACHINE\\S]\r\n\r\n[HKEY_LOCAL_MACHINE\\S\\a_]\r\n\r\n'
                 '[HKEY_LOCAL_MACHINE\\S\\B]\r\n"Data"="x"\r\n"DataType"="String"\r\n\r\n')
        self.assertEqual(canon(ours), canon(wines))
        self.assertEqual(canon(ours)[0], "[HKEY_LOCAL_MACHINE\\S]")

    def test_encodings_and_line_breaks_of_hex_do_not_count(self):
        long_hex = '[K]\r\n"0"=hex:01,02,\\\r\n  03\r\n'
        one_line = '[K]\n"0"=hex:01,02,03\n'
        utf16 = (b"\xff\xfe" + (HEADER + long_hex).encode("utf-16-le"))
        self.assertEqual(regcanon.canonical(regcanon.decode(utf16)), canon(one_line))
        self.assertEqual(canon(one_line), ["[K]", '"0"=hex:01,02,03'])

    def test_types_and_bytes_count(self):
        variants = [
            '"v"=hex:01',
            '"v"=hex:01,00',
            '"v"=hex(3):01',
            '"v"=hex(1):78,00',
            '"v"="x"',
            '"v"="X"',
            '"v"=dword:00000001',
            '"V"=hex:01',
        ]
        forms = [tuple(canon("[K]\n" + v + "\n")) for v in variants]
        self.assertEqual(len(set(forms)), len(variants))

    def test_names_and_strings_keep_their_escapes(self):
        self.assertEqual(canon('[K]\n"a\\"b"="c:\\\\d"\n@="e"\n'),
                         ["[K]", '@="e"', '"a\\"b"="c:\\\\d"'])

    def test_malformed_lines_are_refused(self):
        for body in ['"v"=hex:01\n', '[K]\n"v"=str:1\n', '[K]\n"v"="open\n', "[K\n"]:
            with self.assertRaises(regcanon.RegFormatError, msg=body):
                canon(body)


if __name__ == "__main__":
    unittest.main()
