#!/usr/bin/python3
"""The packages in dist/ read without Wine: their tables say what the system
needs (the service as the watchdog registers itself, the Run value as the tray
writes it, the log folder, the custom actions in their place), and packing the
same build again gives the same bytes.
  GT_DIST (default dist), GT_BUILD_ROOT (default build): relative to the repository
"""
import os
import re
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.dirname(HERE))
import make_package  # noqa: E402

DIST = os.path.join(REPO, os.environ.get("GT_DIST", "dist"))
BUILD = os.path.join(REPO, os.environ.get("GT_BUILD_ROOT", "build"))
CONTRACT = make_package.read_contract()
ARCHS = ("x64", "x86")


def package(arch):
    return os.path.join(DIST, arch, make_package.package_name(arch))


def table(arch, name):
    """Rows of a table as dicts, by column name."""
    out = subprocess.run(["msiinfo", "export", package(arch), name], capture_output=True,
                         text=True, check=True).stdout
    lines = [line for line in out.splitlines() if line.strip()]
    columns = lines[0].split("\t")
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:]]


def row(arch, name, key, value):
    rows = [r for r in table(arch, name) if r[key] == value]
    assert len(rows) == 1, "%s: %d rows with %s = %s" % (name, len(rows), key, value)
    return rows[0]


def holds(condition, values):
    """A condition of Windows Installer's syntax, as far as the package uses it
    (names, $component action states, integers, "texts", =, ~= (case
    blind), NOT, AND, OR, parentheses), under the given values; a name
    without a value is empty."""
    value = lambda name: values.get(name, "")
    text = re.sub(r'(\$?\w+)\s*~=\s*"([^"]*)"',
                  lambda m: '(str(value("%s")).lower() == "%s")' % (m.group(1), m.group(2).lower()), condition)
    text = re.sub(r'(?<![\w"])(\$?[A-Za-z_]\w*)(?![\w"(])',
                  lambda m: {"AND": "and", "OR": "or", "NOT": "not"}.get(m.group(1), 'value("%s")' % m.group(1))
                  if m.group(1) not in ("str", "lower", "value") else m.group(1), text)
    return bool(eval(re.sub(r"(?<![=!<>])=(?!=)", "==", text), {"value": value, "str": str}))


def resource_strings(path):
    """The StringFileInfo texts of a program's version resource."""
    pe = make_package.pefile.PE(path, fast_load=True)
    pe.parse_data_directories([make_package.pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    texts = {}
    for info in pe.FileInfo[0]:
        for strings in getattr(info, "StringTable", []):
            texts.update({k.decode(): v.decode() for k, v in strings.entries.items()})
    return texts


def sequence(arch):
    return {r["Action"]: (int(r["Sequence"]), r["Condition"]) for r in table(arch, "InstallExecuteSequence")}


class Tables(unittest.TestCase):
    def test_service_is_registered_as_the_watchdog_registers_itself(self):
        for arch in ARCHS:
            with self.subTest(arch=arch):
                service = row(arch, "ServiceInstall", "Name", CONTRACT["WATCHDOG_SERVICE_NAME"])
                self.assertEqual(service["DisplayName"], CONTRACT["WATCHDOG_DISPLAY_NAME"])
                self.assertEqual(service["Description"], CONTRACT["WATCHDOG_DESCRIPTION"])
                # own process, automatic start, normal errors, LocalSystem (no account)
                self.assertEqual((service["ServiceType"], service["StartType"], service["ErrorControl"],
                                  service["StartName"], service["Password"]), ("16", "2", "1", "", ""))
                # Windows Installer runs "<quoted file path> <Arguments>": the format's tail.
                self.assertEqual('"%s" ' + service["Arguments"], CONTRACT["SERVICE_COMMAND_FORMAT"])
                self.assertEqual(row(arch, "Component", "Component", service["Component_"])["KeyPath"],
                                 "WatchdogExe")
                control = row(arch, "ServiceControl", "Name", CONTRACT["WATCHDOG_SERVICE_NAME"])
                # started at install, stopped and deleted at install and uninstall; waited for
                self.assertEqual((int(control["Event"]), control["Wait"]),
                                 (0x1 | 0x2 | 0x8 | 0x20 | 0x80, "1"))

    def test_run_value_starts_the_installed_tray(self):
        for arch in ARCHS:
            with self.subTest(arch=arch):
                value = row(arch, "Registry", "Name", CONTRACT["TRAY_RUN_VALUE"])
                self.assertEqual((value["Root"], value["Key"]), ("2", CONTRACT["RUN_KEY"]))  # HKLM
                self.assertEqual(value["Value"], CONTRACT["SERVICE_COMMAND_FORMAT"] % "[#TrayExe]")
                self.assertEqual(row(arch, "File", "File", "TrayExe")["Component_"], value["Component_"])

    def test_folders_components_and_platform_match_the_architecture(self):
        for arch in ARCHS:
            with self.subTest(arch=arch):
                dirs = {r["Directory"]: (r["Directory_Parent"], r["DefaultDir"])
                        for r in table(arch, "Directory")}
                program_files = "ProgramFiles64Folder" if arch == "x64" else "ProgramFilesFolder"
                self.assertEqual(dirs["VIRTIODIR"], (program_files, "virtio"))
                self.assertEqual(dirs["INSTALLDIR"], ("VIRTIODIR", "tools"))
                self.assertEqual(dirs["MONITORDIR"], ("VIRTIODIR", "monitor"))
                self.assertEqual(row(arch, "CreateFolder", "Directory_", "MONITORDIR")["Component_"],
                                 "Monitor")
                for component in table(arch, "Component"):
                    self.assertEqual(int(component["Attributes"]) & 256, 256 if arch == "x64" else 0,
                                     component["Component"])
                info = subprocess.run(["msiinfo", "suminfo", package(arch)], capture_output=True,
                                      text=True, check=True).stdout
                self.assertIn("Template: %s;1033" % ("x64" if arch == "x64" else "Intel"), info)
                self.assertIn("Version: 200 ", info)  # Windows Installer 2.0

    def test_each_package_refuses_the_other_windows_and_downgrades(self):
        # One upgrade code each: else the other architecture's package would
        # be refused as an upgrade or downgrade, with that message instead.
        codes = {row(arch, "Property", "Property", "UpgradeCode")["Value"] for arch in ARCHS}
        self.assertEqual(len(codes), 2)
        for arch in ARCHS:
            with self.subTest(arch=arch):
                conditions = {r["Condition"]: r["Description"] for r in table(arch, "LaunchCondition")}
                mine = "Installed OR VersionNT64" if arch == "x64" else "Installed OR NOT VersionNT64"
                self.assertIn(mine, conditions)
                self.assertIn(make_package.package_name("x86" if arch == "x64" else "x64"), conditions[mine])
                self.assertIn("NOT WIX_DOWNGRADE_DETECTED", conditions)
                self.assertIn("Installed OR VersionNT >= 500", conditions)

    def test_custom_actions_run_deferred_as_system_in_their_place(self):
        dll, continue_, in_script, no_impersonate = 1, 0x40, 0x400, 0x800
        for arch in ARCHS:
            with self.subTest(arch=arch):
                actions = {r["Action"]: r for r in table(arch, "CustomAction")}
                self.assertEqual(int(actions["EndTrays"]["Type"]), dll | continue_ | in_script | no_impersonate)
                self.assertEqual(int(actions["SetMonitorRights"]["Type"]), dll | in_script | no_impersonate)
                self.assertEqual((actions["SetMonitorRightsFolder"]["Type"],
                                  actions["SetMonitorRightsFolder"]["Source"],
                                  actions["SetMonitorRightsFolder"]["Target"]),
                                 ("51", "SetMonitorRights", "[MONITORDIR]"))
                at = {r["Action"]: int(r["Sequence"]) for r in table(arch, "InstallExecuteSequence")}
                order = lambda *names: self.assertEqual([at[n] for n in names], sorted(at[n] for n in names), names)
                order("StopServices", "EndTrays", "RemoveFiles", "InstallFiles")
                order("CreateFolders", "SetMonitorRightsFolder", "SetMonitorRights", "StartServices")
                self.assertLess(at["InstallFiles"], at["StartServices"])

    def test_the_old_version_goes_inside_this_install(self):
        # Right after InstallInitialize and before any action that writes the
        # script (ICE63): the removal is part of this install's transaction and
        # is rolled back with it. The old package stops its service and ends
        # its trays before its files go.
        for arch in ARCHS:
            with self.subTest(arch=arch):
                at = sequence(arch)
                initialize, remove = at["InstallInitialize"][0], at["RemoveExistingProducts"][0]
                self.assertEqual([name for name, (number, _) in at.items() if initialize <= number <= remove],
                                 ["InstallInitialize", "RemoveExistingProducts"])
                self.assertLess(remove, at["ProcessComponents"][0])
                self.assertEqual(at["RemoveExistingProducts"][1], "")
                self.assertLess(at["StopServices"][0], at["EndTrays"][0])
                self.assertLess(at["EndTrays"][0], at["RemoveFiles"][0])

    def test_trays_are_ended_only_when_the_tray_goes(self):
        # Action states: 2 absent, 3 local, -1 nothing requested. Wine gives a
        # repaired component another state than Windows: both are here.
        cases = [
            ("first install", {"$Tray": 3}, False),
            ("this version over an older one", {"$Tray": 3, "WIX_UPGRADE_DETECTED": "{OLD}"}, True),
            ("uninstall", {"$Tray": 2, "Installed": "1", "REMOVE": "ALL"}, True),
            ("removed by a newer version",
             {"$Tray": 2, "Installed": "1", "REMOVE": "ALL", "UPGRADINGPRODUCTCODE": "{NEW}"}, True),
            ("repair (msiexec /f, Windows)", {"$Tray": 3, "Installed": "1", "REINSTALL": "ALL"}, False),
            ("repair (Wine)", {"$Tray": -1, "Installed": "1", "REINSTALL": "ALL"}, False),
            ("this package again (Windows)", {"$Tray": -1, "Installed": "1"}, False),
            ("this package again (Wine reinstalls)", {"$Tray": 3, "Installed": "1"}, False),
            # Any user may start a repair and pass this secure property, which
            # FindRelatedProducts does not clear in maintenance.
            ("repair with WIX_UPGRADE_DETECTED passed (Windows)",
             {"$Tray": 3, "Installed": "1", "REINSTALL": "ALL", "WIX_UPGRADE_DETECTED": "1"}, False),
            ("repair with WIX_UPGRADE_DETECTED passed (Wine)",
             {"$Tray": -1, "Installed": "1", "REINSTALL": "ALL", "WIX_UPGRADE_DETECTED": "1"}, False),
        ]
        for arch in ARCHS:
            condition = sequence(arch)["EndTrays"][1]
            self.assertEqual(condition, "$Tray = 2 OR (WIX_UPGRADE_DETECTED AND NOT Installed)")
            for name, values, ends in cases:
                with self.subTest(arch=arch, case=name):
                    self.assertEqual(holds(condition, values), ends)

    def test_the_service_starts_only_where_the_platform_check_passes(self):
        for arch in ARCHS:
            with self.subTest(arch=arch):
                at = sequence(arch)
                # immediate (no 0x400), so its property is set when the script is written
                self.assertEqual(int(row(arch, "CustomAction", "Action", "CheckPlatform")["Type"]) & 0x43F, 1)
                self.assertLess(at["CheckPlatform"][0], at["CostInitialize"][0])
                self.assertEqual((at["CheckPlatform"][1], at["StartServices"][1]),
                                 ('NOT REMOVE~="ALL"', "VersionNT AND GtServiceCanStart"))

    def test_trays_start_after_an_install_or_upgrade_only(self):
        dll, continue_, in_script, no_impersonate = 1, 0x40, 0x400, 0x800
        # Component action states: 3 local (install, upgrade, Windows' repair), 2 absent (removal).
        cases = (("first install", {"$Tray": 3}, True),
                 ("major upgrade: a new product code", {"$Tray": 3}, True),
                 ("repair", {"$Tray": 3, "Installed": "1", "REINSTALL": "ALL"}, False),
                 ("removal", {"$Tray": 2, "Installed": "1", "REMOVE": "ALL"}, False),
                 ("the old product removed by an upgrade",
                  {"$Tray": 2, "Installed": "1", "REMOVE": "ALL", "UPGRADINGPRODUCTCODE": "{X}"}, False),
                 ("nothing to do for the tray", {"$Tray": None, "Installed": "1"}, False))
        for arch in ARCHS:
            with self.subTest(arch=arch):
                actions = {r["Action"]: r for r in table(arch, "CustomAction")}
                self.assertEqual(int(actions["StartTrays"]["Type"]), dll | continue_ | in_script | no_impersonate)
                self.assertEqual(actions["StartTrays"]["Source"], "SetupActions")
                # The path of the installed file, as in the Run value.
                self.assertEqual((actions["StartTraysPath"]["Type"], actions["StartTraysPath"]["Source"],
                                  actions["StartTraysPath"]["Target"]), ("51", "StartTrays", "[#TrayExe]"))
                sequence = {r["Action"]: r for r in table(arch, "InstallExecuteSequence")}
                at = {name: int(r["Sequence"]) for name, r in sequence.items()}
                names = ("InstallFiles", "WriteRegistryValues", "StartServices", "PublishProduct",
                         "StartTraysPath", "StartTrays", "InstallFinalize")
                self.assertEqual([at[n] for n in names], sorted(at[n] for n in names))
                for name in ("StartTraysPath", "StartTrays"):
                    for what, facts, expected in cases:
                        self.assertEqual(holds(sequence[name]["Condition"], facts), expected,
                                         (name, what))

    def test_files_carry_the_programs_version(self):
        for arch in ARCHS:
            with self.subTest(arch=arch):
                version = row(arch, "Property", "Property", "ProductVersion")["Value"]
                for file_id, image in (("WatchdogExe", "WATCHDOG_IMAGE_NAME"), ("TrayExe", "TRAY_IMAGE_NAME")):
                    self.assertEqual(row(arch, "File", "File", file_id)["Version"], version)
                    self.assertEqual(make_package.program_version(os.path.join(DIST, arch, CONTRACT[image])),
                                     version)

    def test_the_product_name_is_one_in_the_package_and_the_tray(self):
        name = make_package.product_name()
        for arch in ARCHS:
            with self.subTest(arch=arch):
                version = row(arch, "Property", "Property", "ProductVersion")["Value"]
                self.assertEqual(row(arch, "Property", "Property", "ProductName")["Value"], name)
                self.assertEqual(row(arch, "Feature", "Feature", "Tools")["Title"], name)
                conditions = {r["Condition"]: r["Description"] for r in table(arch, "LaunchCondition")}
                self.assertEqual(conditions["Installed OR VersionNT >= 500"],
                                 "%s needs Windows 2000 or later." % name)
                self.assertIn(" of %s is already installed." % name, conditions["NOT WIX_DOWNGRADE_DETECTED"])
                info = subprocess.run(["msiinfo", "suminfo", package(arch)], capture_output=True,
                                      text=True, check=True).stdout
                self.assertIn("%s %s (%s)" % (name, version, arch), info)
                tray = os.path.join(DIST, arch, CONTRACT["TRAY_IMAGE_NAME"])
                self.assertEqual(resource_strings(tray)["ProductName"], name)
                with open(tray, "rb") as f:  # the About box's first line, English and Chinese
                    self.assertEqual(f.read().count(("%s 2.5\n\n" % name).encode()), 2)

    def test_packing_the_same_build_again_gives_the_same_bytes(self):
        for arch in ARCHS:
            with self.subTest(arch=arch):
                with open(package(arch), "rb") as f:
                    shipped = f.read()
                with tempfile.TemporaryDirectory() as work:
                    out = os.path.join(work, "again.msi")
                    time.sleep(1.1)  # a time taken from the clock would differ
                    make_package.make_package(arch, os.path.join(BUILD, arch, "bin"), out, work)
                    with open(out, "rb") as f:
                        self.assertTrue(f.read() == shipped, "%s differs from %s" % (out, package(arch)))


if __name__ == "__main__":
    unittest.main(verbosity=2)
