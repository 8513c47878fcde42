#!/usr/bin/python3
"""Checks what the two packages carry, from the outside.

  package_contents_test.py BUILD_DIR USER_DIR DEMONSTRATION_DIR PROGRAM...

USER_DIR and DEMONSTRATION_DIR hold the packages that cpack and
msi_package.cmake made from the windows build BUILD_DIR (a ZIP, an installer
and an MSI each); PROGRAM names the programs both must carry.
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
    build_dir = user_dir = demonstration_dir = None
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
     PackageTest.demonstration_dir) = sys.argv[1:4]
    PackageTest.programs = sys.argv[4:]
    unittest.main(argv=sys.argv[:1], verbosity=2)
