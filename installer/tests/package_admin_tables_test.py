#!/usr/bin/python3
"""What the packages in dist/ set for administrators, read from their tables
without Wine: the watchdog's Event Log source as "-i" writes it, the failure
actions set by a deferred system action between InstallServices and
StartServices, and UPGRADESTRATEGY limited to 2 or 3 and written by an action.
"""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from package_tables_test import ARCHS, CONTRACT, holds, row, table  # noqa: E402

DLL, CONTINUE, IN_SCRIPT, NO_IMPERSONATE = 1, 0x40, 0x400, 0x800
PROPERTY = CONTRACT["UPGRADE_STRATEGY_PROPERTY"]


class AdminTables(unittest.TestCase):
    def test_event_source_key_is_the_programs(self):
        for arch in ARCHS:
            with self.subTest(arch=arch):
                values = {r["Name"]: r for r in table(arch, "Registry")
                          if r["Key"] == CONTRACT["EVENT_SOURCE_KEY"]}
                self.assertEqual(set(values), {"EventMessageFile", "TypesSupported", "-"})
                # "-" without a value: the whole key is removed with the component.
                self.assertEqual(values["-"]["Value"], "")
                # "#%": REG_EXPAND_SZ; "#": REG_DWORD. HKLM, the watchdog's component.
                self.assertEqual(values["EventMessageFile"]["Value"], "#%[#WatchdogExe]")
                self.assertEqual(values["TypesSupported"]["Value"], "#7")
                for value in values.values():
                    self.assertEqual((value["Root"], value["Component_"]), ("2", "Watchdog"))

    def test_recovery_and_strategy_actions_in_their_place(self):
        for arch in ARCHS:
            with self.subTest(arch=arch):
                actions = {r["Action"]: r for r in table(arch, "CustomAction")}
                self.assertEqual(int(actions["SetServiceRecovery"]["Type"]),
                                 DLL | CONTINUE | IN_SCRIPT | NO_IMPERSONATE)
                self.assertEqual(int(actions["SetUpgradeStrategy"]["Type"]), DLL | IN_SCRIPT | NO_IMPERSONATE)
                self.assertEqual((actions["SetUpgradeStrategyValue"]["Type"],
                                  actions["SetUpgradeStrategyValue"]["Target"]),
                                 ("51", "[%s]" % PROPERTY))
                sequence = {r["Action"]: r for r in table(arch, "InstallExecuteSequence")}
                at = {name: int(r["Sequence"]) for name, r in sequence.items()}
                self.assertLess(at["InstallServices"], at["SetServiceRecovery"])
                self.assertLess(at["SetServiceRecovery"], at["StartServices"])
                self.assertEqual(sequence["SetServiceRecovery"]["Condition"], "$Watchdog = 3")
                self.assertLess(at["RemoveExistingProducts"], at["SetUpgradeStrategyValue"])
                self.assertEqual(at["SetUpgradeStrategyValue"] + 1, at["SetUpgradeStrategy"])
                for name in ("SetUpgradeStrategyValue", "SetUpgradeStrategy"):
                    self.assertEqual(sequence[name]["Condition"], "%s AND NOT Installed" % PROPERTY)

    def test_strategy_is_written_at_a_first_install_or_an_upgrade_only(self):
        # Any user may start a repair of the installed product and pass the
        # property (it is a secure one): no maintenance run writes it.
        cases = (("first install", {PROPERTY: "3"}, True),
                 ("upgrade: a new product", {PROPERTY: "2", "WIX_UPGRADE_DETECTED": "{OLD}"}, True),
                 ("first install without it", {}, False),
                 ("repair", {PROPERTY: "2", "Installed": "1", "REINSTALL": "ALL"}, False),
                 ("this package again", {PROPERTY: "2", "Installed": "1"}, False),
                 ("removal", {PROPERTY: "2", "Installed": "1", "REMOVE": "ALL"}, False))
        for arch in ARCHS:
            sequence = {r["Action"]: r for r in table(arch, "InstallExecuteSequence")}
            for name in ("SetUpgradeStrategyValue", "SetUpgradeStrategy"):
                for what, facts, expected in cases:
                    with self.subTest(arch=arch, action=name, case=what):
                        self.assertEqual(holds(sequence[name]["Condition"], facts), expected)

    def test_strategy_other_than_two_or_three_is_refused(self):
        for arch in ARCHS:
            with self.subTest(arch=arch):
                conditions = {r["Condition"]: r["Description"] for r in table(arch, "LaunchCondition")}
                mine = 'NOT {0} OR {0} = "2" OR {0} = "3"'.format(PROPERTY)
                self.assertIn(mine, conditions)
                self.assertIn("2 (automatic upgrade) or 3 (upgrades closed)", conditions[mine])
                secure = row(arch, "Property", "Property", "SecureCustomProperties")["Value"].split(";")
                self.assertIn(PROPERTY, secure)
                self.assertIn("WIX_UPGRADE_DETECTED", secure)


if __name__ == "__main__":
    unittest.main(verbosity=2)
