"""Makes the Debian package of a build with CPack, into a folder of its own that holds nothing
else afterwards. The package checks share it.

The folder is named by PELMORA_DEB_OUT.
"""

import glob
import os
import shutil
import sys

from packaging_case import build_dir, require_tools, run


def main(out):
    require_tools("cpack", "dpkg-shlibdeps", "dpkg-deb")
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    build = build_dir()
    run(["cpack", "-G", "DEB", "-B", out, "--config", os.path.join(build, "CPackConfig.cmake")],
        timeout=300, cwd=build)
    # CPack leaves its staging folder beside the package.
    shutil.rmtree(os.path.join(out, "_CPack_Packages"), ignore_errors=True)
    debs = glob.glob(os.path.join(out, "*.deb"))
    if len(debs) != 1:
        print(f"expected one package in {out}, found {debs}", file=sys.stderr)
        return 1
    print(debs[0])
    return 0


if __name__ == "__main__":
    sys.exit(main(os.environ["PELMORA_DEB_OUT"]))
