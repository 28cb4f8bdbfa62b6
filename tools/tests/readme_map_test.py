#!/usr/bin/python3
"""The README's "Where things are" table names every product file, one line
each, and no file that is gone: the programs' and the custom action DLL's
sources and resources (common/, watchdog/, tray/, installer/actions/, their
res/ folders) and the package's installer/*.wxs and installer/*.py. Tests,
doubles and build files are not product files."""
import os
import re
import sys
import tempfile
import unittest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PRODUCT_DIRS = ["common", "watchdog", "watchdog/res", "tray", "tray/res", "installer/actions"]
PACKAGE_FILE = re.compile(r"installer/[^/]+\.(wxs|py)$")
HEADING = "### Where things are"


def product_files(root):
    files = set()
    for folder in PRODUCT_DIRS:
        path = os.path.join(root, folder)
        if os.path.isdir(path):
            files.update("%s/%s" % (folder, name) for name in os.listdir(path)
                         if os.path.isfile(os.path.join(path, name)) and name != "CMakeLists.txt")
    installer = os.path.join(root, "installer")
    if os.path.isdir(installer):
        files.update("installer/" + name for name in os.listdir(installer)
                     if PACKAGE_FILE.match("installer/" + name))
    return files


def map_rows(readme):
    """(file, what it does) of each table line under the heading, up to the next heading."""
    _, found, rest = readme.partition("\n" + HEADING + "\n")
    if not found:
        return None
    section = re.split(r"\n#+ ", rest, maxsplit=1)[0]
    return re.findall(r"^\| `([^`]+)` \|([^|\n]*)\|\s*$", section, re.M)


def map_problems(readme, root):
    rows = map_rows(readme)
    if rows is None:
        return ['no "%s" section' % HEADING]
    problems = []
    named = [name for name, _ in rows]
    for name in sorted({n for n in named if named.count(n) > 1}):
        problems.append("%s: more than one line" % name)
    product = product_files(root)
    for name, what in rows:
        if not os.path.isfile(os.path.join(root, name)):
            problems.append("%s: named, but no such file" % name)
        elif name not in product:
            problems.append("%s: not a product file" % name)
        if not what.strip():
            problems.append("%s: says nothing about it" % name)
    for name in sorted(product - set(named)):
        problems.append("%s: product file missing from the table" % name)
    return problems


class ReadmeMap(unittest.TestCase):
    def test_the_readme_names_every_product_file_and_no_other(self):
        with open(os.path.join(REPO, "README.md"), encoding="utf-8") as f:
            self.assertEqual(map_problems(f.read(), REPO), [])

    def test_a_new_file_a_gone_file_and_a_twice_named_file_are_found(self):
        with tempfile.TemporaryDirectory() as root:
            for name in ["tray/kept.cpp", "tray/new.h", "tray/res/new.rc", "tray/CMakeLists.txt",
                         "tray/tests/kept_test.cpp", "installer/new.wxs", "installer/notes.txt"]:
                os.makedirs(os.path.dirname(os.path.join(root, name)), exist_ok=True)
                open(os.path.join(root, name), "w").close()
            readme = "\n".join([
                "# x", HEADING, "", "| file | what it does |", "|---|---|",
                "| `tray/kept.cpp` | kept |", "| `tray/gone.cpp` | gone |", "| `tray/kept.cpp` | again |",
                "| `tray/tests/kept_test.cpp` | |", "### Next", "| `tray/new.h` | after the section |", ""])
            self.assertEqual(map_problems(readme, root), [
                "tray/kept.cpp: more than one line",
                "tray/gone.cpp: named, but no such file",
                "tray/tests/kept_test.cpp: not a product file",
                "tray/tests/kept_test.cpp: says nothing about it",
                "installer/new.wxs: product file missing from the table",
                "tray/new.h: product file missing from the table",
                "tray/res/new.rc: product file missing from the table",
            ])
            self.assertEqual(map_problems("# x\n", root), ['no "%s" section' % HEADING])


if __name__ == "__main__":
    unittest.main(verbosity=2, argv=sys.argv[:1])
