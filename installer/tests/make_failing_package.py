#!/usr/bin/python3
"""A copy of a package that fails at its very end: after its old version was
removed, its files copied and its service started, a deferred action fails
(the folder action on a folder that does not exist) and Windows Installer
rolls everything back. Used to show that a failed upgrade keeps the old
version.
  make_failing_package.py PACKAGE.msi OUT.msi
"""
import os
import shutil
import subprocess
import sys
import uuid

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import make_package  # noqa: E402

ACTION = "FailAtTheEnd"
# After PublishProduct (6400), before InstallFinalize (6600).
SEQUENCE = 6590


def make_failing(package, out):
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
    shutil.copyfile(package, out)
    for query in (
            # A deferred action reads the property of its own name.
            "INSERT INTO `Property` (`Property`, `Value`) VALUES ('%s', 'C:\\gt-no-such-folder')" % ACTION,
            # DLL, deferred, not impersonated, its result checked: 1 | 0x400 | 0x800.
            "INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) "
            "VALUES ('%s', 3073, 'SetupActions', 'SetMonitorRights')" % ACTION,
            "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('%s', %d)"
            % (ACTION, SEQUENCE)):
        subprocess.run(["msibuild", out, "-q", query], check=True, capture_output=True)
    # Another package than the one it was made from.
    make_package.pin_summary(out, uuid.uuid5(make_package.PRODUCT_ROOT, "failing " + package),
                             make_package.source_epoch())


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    make_failing(sys.argv[1], sys.argv[2])
