#!/usr/bin/python3
"""Checks what the two packages carry, from the outside.

  package_contents_test.py USER_DIR DEMONSTRATION_DIR VERSION PROGRAM...

USER_DIR and DEMONSTRATION_DIR hold the packages that cpack made (a ZIP and
an installer each); VERSION is the project's; PROGRAM names the programs both
must carry.
"""

import glob
import os
import struct
import sys
import unittest
import zipfile

STAND_INS = {"flutter_windows.dll", "url_launcher_windows_plugin.dll",
             "tunnel.dll"}
STAND_IN_MARK = "STAND-IN for".encode("utf-16-le")
AMD64 = 0x8664


def only_file(folder, pattern):
    found = glob.glob(os.path.join(folder, pattern))
    if len(found) != 1:
        raise AssertionError("expected one %s in %s, found %s" %
                             (pattern, folder, found))
    return found[0]


def zip_members(path):
    """File name (without the top folder) -> bytes."""
    with zipfile.ZipFile(path) as archive:
        names = [n for n in archive.namelist() if not n.endswith("/")]
        tops = {n.split("/", 1)[0] for n in names}
        if len(tops) != 1 or any("/" not in n for n in names):
            raise AssertionError("not one top folder: %s" % names)
        return {n.split("/", 1)[1]: archive.read(n) for n in names}


def pe_machine(data):
    offset = struct.unpack_from("<I", data, 0x3C)[0]
    if data[:2] != b"MZ" or data[offset:offset + 4] != b"PE\0\0":
        return None
    return struct.unpack_from("<H", data, offset + 4)[0]


def version_info(data):
    """The four numbers of the file version, the four of the product version
    and the strings of a PE file's version resource."""
    start = data.find("VS_VERSION_INFO".encode("utf-16-le")) - 6
    if start < 0:
        raise AssertionError("no version resource")
    strings = {}

    def align(offset):
        return (offset + 3) & ~3

    def node(offset):
        length, value_length, text = struct.unpack_from("<HHH", data, offset)
        key_end = offset + 6
        while data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        value = align(key_end + 2)
        value_end = value + value_length * (2 if text else 1)
        if text:
            key = data[offset + 6:key_end].decode("utf-16-le")
            strings[key] = data[value:value_end].decode("utf-16-le").split("\0")[0]
        child = align(value_end)
        while child < offset + length:
            child = align(child + node(child))
        return length

    node(start)
    fixed = struct.unpack_from("<4I", data, align(start + 6 + 32) + 8)
    numbers = [part for word in fixed for part in (word >> 16, word & 0xFFFF)]
    return numbers[:4], numbers[4:], strings


class PackageTest(unittest.TestCase):
    user_dir = demonstration_dir = version = None
    programs = []

    def test_user_package_carries_the_programs_and_no_stand_in(self):
        members = zip_members(only_file(self.user_dir, "*.zip"))
        self.assertEqual(set(members), set(self.programs) | {"README.txt"})
        readme = members["README.txt"].decode()
        for library in STAND_INS:
            self.assertIn(library, readme)
        self.assertIn("only administrators", readme)
        for program in self.programs:
            self.assertEqual(pe_machine(members[program]), AMD64, program)

    def test_programs_and_package_carry_the_project_version(self):
        members = zip_members(
            only_file(self.user_dir, "VelkVPN-%s-win64.zip" % self.version))
        numbers = [int(n) for n in (self.version + ".0.0.0").split(".")[:4]]
        for program in self.programs:
            file_version, product_version, strings = version_info(members[program])
            self.assertEqual(file_version, numbers, program)
            self.assertEqual(product_version, numbers, program)
            self.assertEqual(strings["ProductName"], "Velk VPN")
            self.assertEqual(strings["FileVersion"], self.version)
            self.assertEqual(strings["ProductVersion"], self.version)
            self.assertEqual(strings["OriginalFilename"], program)
            self.assertTrue(strings["FileDescription"], program)
            self.assertIn("Copyright", strings["LegalCopyright"])

    def test_demonstration_package_says_what_it_is(self):
        path = only_file(self.demonstration_dir, "*.zip")
        self.assertIn("demonstration-with-stand-ins", os.path.basename(path))
        members = zip_members(path)
        self.assertEqual(
            set(members), set(self.programs) | STAND_INS |
            {"README.txt", "demonstration.conf"})
        self.assertIn("This is not a working VPN", members["README.txt"].decode())
        for library in STAND_INS:
            self.assertIn(STAND_IN_MARK, members[library], library)
        self.assertIn(b"endpoint=10.77.0.1:", members["demonstration.conf"])

    def test_installers_are_64_bit(self):
        for folder in (self.user_dir, self.demonstration_dir):
            with open(only_file(folder, "*.exe"), "rb") as installer:
                self.assertEqual(pe_machine(installer.read(4096)), AMD64)


if __name__ == "__main__":
    (PackageTest.user_dir, PackageTest.demonstration_dir,
     PackageTest.version) = sys.argv[1:4]
    PackageTest.programs = sys.argv[4:]
    unittest.main(argv=sys.argv[:1], verbosity=2)
