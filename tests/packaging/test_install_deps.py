"""tools/install-deps.sh installs for a purpose: running the Linux program needs no cross
compiler and no Wine, and the README's run command asks apt for nothing more."""

import os
import re
import shutil
import stat
import subprocess
import tempfile
import unittest

from packaging_case import REPO_ROOT, run

SCRIPT = os.path.join(REPO_ROOT, "tools", "install-deps.sh")
WINDOWS_ONLY = re.compile(r"mingw|wine", re.I)

# mode, packages it must hold, packages it must not hold
MODES = (
    ("run", {"cmake", "g++", "qt6-base-dev", "xvfb", "openbox", "trayer"},
     {"lintian", "libgtest-dev", "python3-pefile"}),
    ("linux", {"qt6-base-dev", "libgtest-dev", "desktop-file-utils", "appstream", "lintian",
               "dpkg-dev", "clang-format", "xdotool", "rpm", "rpmlint"},
     {"python3-pefile", "wixl"}),
    ("windows", {"g++-mingw-w64-i686", "g++-mingw-w64-x86-64", "wine64", "wine32:i386",
                 "python3-pefile", "googletest", "wixl", "msitools"},
     {"qt6-base-dev", "lintian", "rpm"}),
)


def listed(mode):
    result = run(["bash", SCRIPT, "--list", mode])
    names = result.stdout.split()
    if len(names) != len(set(names)):
        raise AssertionError(f"{mode} lists a package twice: {names}")
    return set(names)


def stub(folder, name, body):
    path = os.path.join(folder, name)
    with open(path, "w") as f:
        f.write("#!/bin/sh\n" + body)
    os.chmod(path, os.stat(path).st_mode | stat.S_IXUSR)


class InstallDeps(unittest.TestCase):
    def test_each_mode_holds_what_its_purpose_needs(self):
        for mode, needs, not_needed in MODES:
            with self.subTest(mode):
                packages = listed(mode)
                self.assertLessEqual(needs, packages)
                self.assertEqual(packages & not_needed, set())
                if mode != "windows":
                    self.assertEqual({p for p in packages if WINDOWS_ONLY.search(p)}, set())
        self.assertLessEqual(listed("run"), listed("linux"))
        self.assertEqual(listed("all"), listed("linux") | listed("windows"))
        self.assertEqual(run(["bash", SCRIPT, "--list"]).stdout.split(), sorted(listed("all")))

    def test_unknown_mode_is_refused_and_installs_nothing(self):
        for args in (["bogus"], ["--list", "bogus"], ["run", "linux"]):
            with self.subTest(args):
                result = run(["bash", SCRIPT, *args], check=False)
                self.assertEqual(result.returncode, 2)
                self.assertEqual(result.stdout, "")
                self.assertIn("usage:", result.stderr)

    def test_readme_run_command_asks_apt_only_for_the_run_packages(self):
        # tools/run-pelmora.sh on a machine with nothing installed: apt-get records what it
        # is asked for and refuses to install, which ends the script before it builds.
        with tempfile.TemporaryDirectory() as bin_dir:
            log = os.path.join(bin_dir, "apt.log")
            stub(bin_dir, "dpkg-query", "exit 1\n")
            stub(bin_dir, "sudo", 'exec "$@"\n')
            stub(bin_dir, "apt-get", f'echo "$@" >> "{log}"\n'
                                     '[ "$1" = update ] && exit 0\nexit 100\n')
            stub(bin_dir, "cmake", "echo cmake must not run >&2; exit 3\n")
            env = dict(os.environ, PATH=f"{bin_dir}:{os.environ['PATH']}")
            result = subprocess.run(["bash", os.path.join(REPO_ROOT, "tools", "run-pelmora.sh")],
                                    env=env, capture_output=True, text=True, timeout=60)
            self.assertEqual(result.returncode, 100, result.stderr)
            with open(log) as f:
                calls = [line.split() for line in f]
        self.assertEqual(calls[0], ["update"])
        install = calls[1]
        self.assertEqual(install[:3], ["install", "-y", "--no-install-recommends"])
        self.assertEqual(set(install[3:]), listed("run"))

    def test_windows_mode_adds_the_i386_architecture_before_apt_reads_its_lists(self):
        # A machine with nothing installed: dpkg and apt-get record what they are asked for.
        # foreign architectures dpkg knows already, what must be added
        add = "dpkg --add-architecture i386"
        cases = (("", [add]), ("armhf", [add]), ("i386", []))
        for known, added in cases:
            with self.subTest(known=known), tempfile.TemporaryDirectory() as bin_dir:
                log = os.path.join(bin_dir, "calls.log")
                stub(bin_dir, "dpkg-query", "exit 1\n")
                stub(bin_dir, "dpkg", f'case "$1" in\n'
                                      f'  --print-architecture) echo amd64 ;;\n'
                                      f'  --print-foreign-architectures) echo "{known}" ;;\n'
                                      f'  *) echo dpkg "$@" >> "{log}" ;;\n'
                                      f'esac\n')
                stub(bin_dir, "sudo", 'exec "$@"\n')
                stub(bin_dir, "apt-get", f'echo apt-get "$@" >> "{log}"\n')
                env = dict(os.environ, PATH=f"{bin_dir}:{os.environ['PATH']}")
                result = subprocess.run(["bash", SCRIPT, "windows"], env=env,
                                        capture_output=True, text=True, timeout=60)
                self.assertEqual(result.returncode, 0, result.stderr)
                with open(log) as f:
                    calls = [line.strip() for line in f]
                self.assertEqual(calls[:len(added) + 1], added + ["apt-get update"])
                self.assertEqual(len(calls), len(added) + 2, calls)
                self.assertIn("wine32:i386", calls[-1].split())

    def test_no_mode_but_windows_pulls_in_a_cross_compiler_or_wine(self):
        policy = run(["apt-cache", "policy", "cmake"], check=False).stdout if shutil.which(
            "apt-cache") else ""
        if "Candidate:" not in policy or "Candidate: (none)" in policy:
            self.skipTest("apt has no package lists here (run apt-get update)")
        for mode in ("run", "linux"):
            with self.subTest(mode):
                result = run(["apt-cache", "depends", "--recurse", "--no-recommends",
                              "--no-suggests", "--no-conflicts", "--no-breaks", "--no-replaces",
                              "--no-enhances", *sorted(listed(mode))], timeout=120)
                closure = {line.strip("<>") for line in result.stdout.splitlines()
                           if line and not line.startswith(" ")}
                self.assertIn("libqt6widgets6", closure)
                self.assertEqual({p for p in closure if WINDOWS_ONLY.search(p)}, set())


if __name__ == "__main__":
    unittest.main()
