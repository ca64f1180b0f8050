"""Makes one package of a build with CPack, into a folder of its own that holds nothing else
afterwards. The checks of that package share it.

Usage: make_package.py DEB|RPM; the folder is named by PELMORA_PACKAGE_OUT.
"""

import glob
import os
import shutil
import sys

from packaging_case import build_dir, require_tools, run

# generator: the tools CPack runs for it, the package's ending
GENERATORS = {"DEB": (("dpkg-shlibdeps", "dpkg-deb"), "deb"), "RPM": (("rpmbuild",), "rpm")}


def main(generator, out):
    tools, ending = GENERATORS[generator]
    require_tools("cpack", *tools)
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    build = build_dir()
    run(["cpack", "-G", generator, "-B", out, "--config",
         os.path.join(build, "CPackConfig.cmake")], timeout=300, cwd=build)
    # CPack leaves its staging folder beside the package.
    shutil.rmtree(os.path.join(out, "_CPack_Packages"), ignore_errors=True)
    made = glob.glob(os.path.join(out, f"*.{ending}"))
    if len(made) != 1:
        print(f"expected one package in {out}, found {made}", file=sys.stderr)
        return 1
    print(made[0])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], os.environ["PELMORA_PACKAGE_OUT"]))
