"""The RPM as built: the files of the Debian package and no more, requirements rpmbuild found
for every library the program loads, rpmlint's verdict, and an install into a scratch root that
puts the program where its desktop entry says. Reads the package that make_package.py made."""

import os
import re
import shutil
import tempfile
import unittest

from packaging_case import (build_dir, identity_version, installed_files, packaged,
                            packaging_info, read_desktop_entry, require_tools, run)

RPMLINT_CONFIG = os.path.join(os.path.dirname(os.path.abspath(__file__)), "rpmlint.toml")
# rpmlint warnings left on purpose, each with the reason. Any error or other warning fails.
ACCEPTED_RPMLINT_WARNINGS = {
    # rpmlint 2.4 records a manual page's section instead of its name, so it misses
    # /usr/share/man/man1/pelmora.1.gz for /usr/bin/pelmora.
    "no-manual-page-for-binary",
}


class RpmPackage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        require_tools("rpm", "rpmlint", "readelf")
        cls.rpm = packaged("rpm")
        cls.info = packaging_info()

    def query(self, *options):
        return run(["rpm", "-qp", *options, self.rpm]).stdout

    def test_names_version_and_exactly_the_debian_packages_files(self):
        package = self.info["package"]
        self.assertEqual(self.query("--qf", "%{NAME} %{VERSION} %{LICENSE} %{URL}"),
                         f"{package} {identity_version()} MIT {self.info['homepage']}")
        self.assertEqual(os.path.basename(self.rpm),
                         f"{package}-{identity_version()}-1.x86_64.rpm")
        # The folders of its own; the shared ones belong to the system.
        own = {f"/usr/share/{package}", f"/usr/share/{package}/autostart",
               f"/usr/share/doc/{package}"}
        files = {f"/usr/{f}" for f in installed_files(self.info)}
        self.assertEqual(set(self.query("-l").split("\n")) - {""}, files | own)

    def test_requires_every_library_the_program_loads(self):
        requires = self.query("-R").split("\n")
        program = os.path.join(build_dir(), "src", "platform", "qt", self.info["linux_exe"])
        dynamic = run(["readelf", "--dynamic", program]).stdout
        needed = re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", dynamic)
        self.assertIn("libQt6Widgets.so.6", needed)
        for library in needed:
            with self.subTest(library):
                self.assertIn(f"{library}()(64bit)", requires)
        self.assertEqual([r for r in requires if r.startswith("/")], [], "a file is required")

    def test_rpmlint_reports_no_error_and_no_unexplained_warning(self):
        result = run(["rpmlint", "-c", RPMLINT_CONFIG, self.rpm], check=False, timeout=120)
        found = re.findall(r"^\S+: ([EW]): (\S+)(.*)$", result.stdout, re.M)
        unexplained = [f"{level}: {tag}{rest}" for level, tag, rest in found
                       if level == "E" or tag not in ACCEPTED_RPMLINT_WARNINGS]
        self.assertEqual(unexplained, [], result.stdout + result.stderr)
        self.assertRegex(result.stdout, r"\b0 errors\b")

    def test_installs_into_a_scratch_root_with_the_program_where_its_entry_says(self):
        root = tempfile.mkdtemp(prefix="pelmora-rpm-root.")
        try:
            run(["rpm", "-i", "--nodeps", "--root", root, self.rpm])
            entry = read_desktop_entry(os.path.join(
                root, "usr", "share", "applications", f"{self.info['app_id']}.desktop"))
            program = shutil.which(entry["Exec"], path=os.path.join(root, "usr", "bin"))
            self.assertEqual(program, os.path.join(root, "usr", "bin", self.info["linux_exe"]))
            self.assertIn("ELF", run(["file", "--brief", program]).stdout)
            installed = run(["rpm", "-q", "--root", root, self.info["package"]]).stdout
            self.assertEqual(installed.strip(),
                             f"{self.info['package']}-{identity_version()}-1.x86_64")
        finally:
            shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    unittest.main()
