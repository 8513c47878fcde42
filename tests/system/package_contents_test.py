#!/usr/bin/python3
"""Checks what the two packages carry, from the outside.

  package_contents_test.py BUILD_DIR USER_DIR DEMONSTRATION_DIR VERSION PROGRAM...

USER_DIR and DEMONSTRATION_DIR hold the packages that cpack and
msi_package.cmake made from the windows build BUILD_DIR (a ZIP, an installer
and an MSI each); VERSION is the project's; PROGRAM names the programs both
must carry.
"""

import glob
import os
import struct
import subprocess
import sys
import tempfile
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


def msi_members(path):
    """The names of the files that an MSI package installs."""
    listing = subprocess.run(["msiextract", "--list", path], check=True,
                             capture_output=True, text=True).stdout
    return {line.rsplit("/", 1)[-1] for line in listing.splitlines() if line}


def signature_verifies(path, certificate):
    return subprocess.run(
        ["osslsigncode", "verify", "-CAfile", certificate, "-in", path],
        capture_output=True).returncode == 0


class PackageTest(unittest.TestCase):
    build_dir = user_dir = demonstration_dir = version = None
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

    def test_msi_packages_carry_what_the_archives_carry(self):
        for folder in (self.user_dir, self.demonstration_dir):
            self.assertEqual(msi_members(only_file(folder, "*.msi")),
                             set(zip_members(only_file(folder, "*.zip"))))

    def test_signing_with_a_given_certificate(self):
        """Signs the user packages with a certificate made here and now."""
        with tempfile.TemporaryDirectory() as work:
            def run(*command, **options):
                subprocess.run(command, check=True, cwd=work,
                               capture_output=True, **options)
            run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes",
                "-keyout", "key.pem", "-out", "certificate.pem", "-days", "1",
                "-subj", "/CN=Velk VPN test signing",
                "-addext", "extendedKeyUsage=codeSigning")
            run("openssl", "pkcs12", "-export", "-inkey", "key.pem",
                "-in", "certificate.pem", "-out", "signing.p12",
                "-passout", "pass:test password")
            signing = dict(os.environ, VELK_SIGN_PASSWORD="test password",
                           VELK_SIGN_PKCS12=os.path.join(work, "signing.p12"))
            run("cpack", "--config", self.build_dir + "/CPackConfig.cmake",
                "-B", "signed", env=signing)
            run("cmake", "-D", "VELK_BUILD_DIR=" + self.build_dir,
                "-D", "VELK_PACKAGE_VERSION=0.0.1",
                "-D", "VELK_PACKAGE_DIR=" + work + "/signed", "-P",
                os.path.dirname(__file__) + "/../../packaging/msi_package.cmake",
                env=signing)
            signed = os.path.join(work, "signed")
            run("msiextract", "-C", "from_msi", only_file(signed, "*.msi"))
            with zipfile.ZipFile(only_file(signed, "*.zip")) as archive:
                archive.extractall(os.path.join(work, "from_zip"))
            files = [only_file(signed, "*.exe"), only_file(signed, "*.msi")]
            for program in self.programs:
                files += glob.glob(work + "/from_*/**/" + program, recursive=True)
            self.assertEqual(len(files), 2 + 2 * len(self.programs))
            certificate = os.path.join(work, "certificate.pem")
            for path in files:
                self.assertTrue(signature_verifies(path, certificate), path)
            # Without the variables nothing is signed.
            self.assertFalse(signature_verifies(
                only_file(self.user_dir, "*.msi"), certificate))

    def test_installers_are_64_bit(self):
        for folder in (self.user_dir, self.demonstration_dir):
            with open(only_file(folder, "*.exe"), "rb") as installer:
                self.assertEqual(pe_machine(installer.read(4096)), AMD64)


if __name__ == "__main__":
    (PackageTest.build_dir, PackageTest.user_dir,
     PackageTest.demonstration_dir, PackageTest.version) = sys.argv[1:5]
    PackageTest.programs = sys.argv[5:]
    unittest.main(argv=sys.argv[:1], verbosity=2)
