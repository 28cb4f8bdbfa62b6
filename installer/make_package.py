#!/usr/bin/python3
"""Makes the Windows Installer package of one architecture from a build's
programs and custom action DLL, with wixl.

  make_package.py --arch x64|x86 --bin BUILD/bin --out FILE.msi --work DIR

What goes in comes from one place each: the version from the programs'
version resources (which CMake takes from VERSION), the product's name from
PRODUCT_NAME (which CMake puts into the programs), the service and the Run
value from common/contract.h. The output is reproducible: the same inputs give
the same bytes (codes derived, times pinned to SOURCE_DATE_EPOCH, else the last
commit's time).

Signing, when GT_SIGN_CERT (PEM certificates) and GT_SIGN_KEY (PEM private key)
are set, with osslsigncode: the programs and the DLL before they are packed,
then the package. GT_SIGN_PASS is the key's password, GT_SIGN_TIMESTAMP_URL an
RFC 3161 time-stamping service (that makes the signature's bytes differ at
every build).
"""
import argparse
import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import uuid

import olefile
import pefile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
WXS = os.path.join(HERE, "ondrix-tools.wxs")
CONTRACT = os.path.join(ROOT, "common", "contract.h")
PRODUCT_NAME_FILE = os.path.join(ROOT, "PRODUCT_NAME")
DLL = "setup_actions.dll"

# The product's identity across versions; every code is derived from it.
PRODUCT_ROOT = uuid.UUID("6f1c3b52-8d0e-4a7e-9b61-2c5d94e0a7f3")


def package_name(arch):
    return "ondrix-tools-%s.msi" % arch


def upgrade_code(arch):
    """One per architecture: the other architecture's package never takes
    itself for an upgrade or a downgrade of this one, so on the wrong Windows
    it is refused for the architecture, with that message."""
    return uuid.uuid5(PRODUCT_ROOT, "upgrade %s" % arch)


def product_code(arch, version):
    """Windows Installer compares only the first three fields of a version, so
    builds that differ in the fourth are one product to it: they get one
    ProductCode, and installing one over the other is refused instead of
    giving two products side by side."""
    major, minor, build = version.split(".")[:3]
    return uuid.uuid5(upgrade_code(arch), "product %s.%s.%s" % (major, minor, build))


def monitor_component_guid(arch):
    # A component holding only a folder has no key file to derive a GUID from.
    return uuid.uuid5(upgrade_code(arch), "component monitor")


def product_name(path=PRODUCT_NAME_FILE):
    """The first line of PRODUCT_NAME, as CMake reads it for the programs."""
    with open(path, encoding="utf-8") as f:
        name = f.readline().rstrip("\r\n")
    if not re.fullmatch(r"[A-Za-z0-9][A-Za-z0-9 ._-]*", name):
        raise SystemExit("%s: %r holds more than letters, digits, spaces and ._-" % (path, name))
    return name


def read_contract(path=CONTRACT):
    """The string #defines of contract.h, as C would read them."""
    names = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            m = re.match(r'\s*#define\s+(\w+)\s+"((?:[^"\\]|\\.)*)"', line)
            if m:
                names[m.group(1)] = re.sub(r"\\(.)", r"\1", m.group(2))
    return names


def contract_defines(contract):
    """What the package takes from the contract."""
    command = contract["SERVICE_COMMAND_FORMAT"]
    if not command.startswith('"%s" '):
        raise SystemExit('SERVICE_COMMAND_FORMAT no longer starts with "%s": ' + command)
    return {
        "ServiceName": contract["WATCHDOG_SERVICE_NAME"],
        "ServiceDisplayName": contract["WATCHDOG_DISPLAY_NAME"],
        "ServiceDescription": contract["WATCHDOG_DESCRIPTION"],
        # Windows Installer writes the quoted program path and then these.
        "ServiceArguments": command[len('"%s" '):],
        "WatchdogImage": contract["WATCHDOG_IMAGE_NAME"],
        "TrayImage": contract["TRAY_IMAGE_NAME"],
        "RunKey": contract["RUN_KEY"],
        "RunValueName": contract["TRAY_RUN_VALUE"],
        "RunValueData": command.replace("%s", "[#TrayExe]"),
        "EventSourceKey": contract["EVENT_SOURCE_KEY"],
        "EventMessageFileValue": contract["EVENT_MESSAGE_FILE_VALUE"],
        "TypesSupportedValue": contract["TYPES_SUPPORTED_VALUE"],
        "StrategyProperty": contract["UPGRADE_STRATEGY_PROPERTY"],
        "StrategyAuto": contract["STRATEGY_AUTO_TEXT"],
        "StrategyClose": contract["STRATEGY_CLOSE_TEXT"],
    }


def table_file_name(name):
    """"short|long" for the File table, or the name alone when it is a valid
    8.3 name itself."""
    stem, _, ext = name.rpartition(".")
    if re.fullmatch(r"[A-Za-z0-9_-]{1,8}", stem) and re.fullmatch(r"[A-Za-z0-9]{0,3}", ext):
        return name
    short = re.sub(r"[^A-Za-z0-9]", "", stem)[:6].upper() + "~1"
    return "%s.%s|%s" % (short, ext.upper(), name)


def program_version(path):
    """a.b.c.d from the fixed file info of a program's version resource."""
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories([pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    info = pe.VS_FIXEDFILEINFO[0]
    ms, ls = info.ProductVersionMS, info.ProductVersionLS
    product = "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    ms, ls = info.FileVersionMS, info.FileVersionLS
    file = "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    if product != file:
        raise SystemExit("%s: file version %s differs from product version %s" % (path, file, product))
    return product


def source_epoch():
    if os.environ.get("SOURCE_DATE_EPOCH"):
        return int(os.environ["SOURCE_DATE_EPOCH"])
    try:
        out = subprocess.run(["git", "-C", ROOT, "log", "-1", "--format=%ct"],
                             capture_output=True, text=True, check=True).stdout.strip()
        return int(out)
    except (OSError, subprocess.CalledProcessError, ValueError):
        return 946684800  # 2000-01-01, outside a git checkout


def signing():
    cert, key = os.environ.get("GT_SIGN_CERT"), os.environ.get("GT_SIGN_KEY")
    if not cert and not key:
        return None
    if not (cert and key):
        raise SystemExit("signing needs both GT_SIGN_CERT and GT_SIGN_KEY")
    return cert, key


def sign(path, epoch, credentials):
    cert, key = credentials
    signed = path + ".signed"
    command = ["osslsigncode", "sign", "-certs", cert, "-key", key, "-h", "sha256",
               "-n", product_name(), "-time", str(epoch)]
    password = os.environ.get("GT_SIGN_PASS")
    if password:
        command += ["-readpass", "-"]
    if os.environ.get("GT_SIGN_TIMESTAMP_URL"):
        command += ["-ts", os.environ["GT_SIGN_TIMESTAMP_URL"]]
    command += ["-in", path, "-out", signed]
    result = subprocess.run(command, input=password or "", capture_output=True, text=True)
    if result.returncode != 0:
        raise SystemExit("signing %s failed:\n%s%s" % (path, result.stdout, result.stderr))
    os.replace(signed, path)


def filetime(epoch):
    return struct.pack("<Q", (epoch + 11644473600) * 10000000)


def pin_summary(msi, package_code, epoch):
    """Sets the package code and both times of the summary information in
    place (wixl writes a random code and the current time)."""
    stream = "\x05SummaryInformation"
    with olefile.OleFileIO(msi, write_mode=True) as ole:
        data = bytearray(ole.openstream(stream).read())
        section = struct.unpack_from("<I", data, 44)[0]
        count = struct.unpack_from("<I", data, section + 4)[0]
        found = set()
        for i in range(count):
            pid, offset = struct.unpack_from("<II", data, section + 8 + 8 * i)
            at = section + offset
            kind = struct.unpack_from("<I", data, at)[0]
            if pid == 9 and kind == 30:  # revision number: the package code, VT_LPSTR
                text = ("{%s}" % str(package_code).upper()).encode() + b"\0"
                if struct.unpack_from("<I", data, at + 4)[0] != len(text):
                    raise SystemExit("%s: unexpected package code length" % msi)
                data[at + 8:at + 8 + len(text)] = text
                found.add(pid)
            elif pid in (12, 13) and kind == 64:  # created, last saved: VT_FILETIME
                data[at + 4:at + 12] = filetime(epoch)
                found.add(pid)
        if found != {9, 12, 13}:
            raise SystemExit("%s: summary information without %s" % (msi, {9, 12, 13} - found))
        ole.write_stream(stream, bytes(data))


def secure_properties(msi):
    """The SecureCustomProperties wixl wrote (for its upgrade search)."""
    table = subprocess.run(["msiinfo", "export", msi, "Property"], capture_output=True,
                           text=True, check=True).stdout
    for row in table.splitlines()[3:]:
        name, _, value = row.partition("\t")
        if name == "SecureCustomProperties":
            return value.split(";")
    raise SystemExit("%s: no SecureCustomProperties" % msi)


def run(command, **kwargs):
    result = subprocess.run(command, capture_output=True, text=True, **kwargs)
    if result.returncode != 0:
        raise SystemExit("%s failed (%d):\n%s%s" % (command[0], result.returncode,
                                                  result.stdout, result.stderr))


def fix_wixl_output(msi, defines, version, package_code, epoch):
    """What wixl 0.101 writes otherwise than Windows Installer or this package
    needs, set right in its output."""
    # File versions: wixl leaves them out, and with them a newer package
    # replaces older programs found in the folder (say, from a manual install).
    # File names: wixl writes long names alone, where the table wants "short|long".
    for file_id, name in (("WatchdogExe", defines["WatchdogImage"]), ("TrayExe", defines["TrayImage"])):
        run(["msibuild", msi, "-q",
             "UPDATE `File` SET `Version` = '%s', `FileName` = '%s' WHERE `File` = '%s'"
             % (version, table_file_name(name), file_id)])
    # Expandable value: wixl writes it as a plain string; "#%" makes it REG_EXPAND_SZ.
    run(["msibuild", msi, "-q",
         "UPDATE `Registry` SET `Value` = '#%[#WatchdogExe]' WHERE `Registry` = 'EventMessageFile'"])
    # Event source key: wixl reads no RegistryKey Action; a row named "-"
    # without a value removes the whole key with the watchdog's component,
    # also what "-i" wrote there.
    run(["msibuild", msi, "-q",
         "INSERT INTO `Registry` (`Registry`, `Root`, `Key`, `Name`, `Component_`) "
         "VALUES ('EventSourceKey', 2, '%s', '-', 'Watchdog')" % defines["EventSourceKey"]])
    # Secure properties: wixl lists only its upgrade search's, and when a
    # non-administrator starts a managed install Windows Installer passes its
    # service only the listed public properties, so UPGRADESTRATEGY is added.
    secure = secure_properties(msi) + [defines["StrategyProperty"]]
    run(["msibuild", msi, "-q", "UPDATE `Property` SET `Value` = '%s' "
         "WHERE `Property` = 'SecureCustomProperties'" % ";".join(secure)])
    # Summary: wixl writes a random package code and the current time, so two
    # builds of the same sources would differ.
    pin_summary(msi, package_code, epoch)


def make_package(arch, bin_dir, out, work):
    bin_dir, out, work = (os.path.abspath(p) for p in (bin_dir, out, work))
    contract = read_contract()
    defines = contract_defines(contract)
    images = [defines["WatchdogImage"], defines["TrayImage"]]
    versions = {program_version(os.path.join(bin_dir, name)) for name in images}
    if len(versions) != 1:
        raise SystemExit("the programs carry different versions: %s" % sorted(versions))
    version = versions.pop()
    epoch = source_epoch()

    stage = os.path.join(work, "stage")
    shutil.rmtree(stage, ignore_errors=True)
    os.makedirs(stage)
    credentials = signing()
    for name in images + [DLL]:
        path = os.path.join(stage, name)
        shutil.copyfile(os.path.join(bin_dir, name), path)
        if credentials:
            sign(path, epoch, credentials)
        # The cabinet stores each file's time.
        os.utime(path, (epoch, epoch))

    other = "x86" if arch == "x64" else "x64"
    defines.update({
        "Arch": arch,
        "Win64": "yes" if arch == "x64" else "no",
        "ProgramFilesFolder": "ProgramFiles64Folder" if arch == "x64" else "ProgramFilesFolder",
        "Version": version,
        "UpgradeCode": str(upgrade_code(arch)).upper(),
        "ProductCode": str(product_code(arch, version)).upper(),
        "MonitorGuid": str(monitor_component_guid(arch)).upper(),
        "OtherPackage": package_name(other),
        "ProductName": product_name(),
    })

    msi = os.path.join(work, package_name(arch))
    command = ["wixl", "-a", arch, "-o", msi]
    for name in sorted(defines):
        command += ["-D", "%s=%s" % (name, defines[name])]
    command.append(WXS)
    # Unknown attributes only warn in wixl: make them fail. The cabinet's
    # times are local times: take them in UTC.
    run(command, cwd=stage, env=dict(os.environ, G_DEBUG="fatal-warnings", TZ="UTC"))

    # A package code names one package: derived from everything that went in.
    digest = hashlib.sha256()
    with open(WXS, "rb") as f:
        digest.update(f.read())
    for name in sorted(defines):
        digest.update(("%s=%s\n" % (name, defines[name])).encode())
    for name in images + [DLL]:
        with open(os.path.join(stage, name), "rb") as f:
            digest.update(f.read())
    fix_wixl_output(msi, defines, version, uuid.uuid5(PRODUCT_ROOT, "package " + digest.hexdigest()),
                    epoch)
    if credentials:
        sign(msi, epoch, credentials)
    os.makedirs(os.path.dirname(out), exist_ok=True)
    shutil.copyfile(msi, out)
    return version


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--arch", required=True, choices=["x64", "x86"])
    parser.add_argument("--bin", required=True, help="folder with the programs and %s" % DLL)
    parser.add_argument("--out", required=True, help="the package to write")
    parser.add_argument("--work", required=True, help="scratch folder")
    args = parser.parse_args(argv[1:])
    version = make_package(args.arch, args.bin, args.out, args.work)
    print("== package %s: %s %s" % (args.out, product_name(), version))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
