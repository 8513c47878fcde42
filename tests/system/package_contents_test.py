#!/usr/bin/python3
"""Checks what the two packages carry, from the outside.

  package_contents_test.py USER_DIR DEMONSTRATION_DIR PROGRAM...

USER_DIR and DEMONSTRATION_DIR hold the packages that cpack made (a ZIP and
an installer each); PROGRAM names the programs both must carry.
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


class PackageTest(unittest.TestCase):
    user_dir = demonstration_dir = None
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
    PackageTest.user_dir, PackageTest.demonstration_dir = sys.argv[1:3]
    PackageTest.programs = sys.argv[3:]
    unittest.main(argv=sys.argv[:1], verbosity=2)
