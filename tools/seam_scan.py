#!/usr/bin/python3
"""Seam scan: a shipped program or DLL holds none of the texts the test
build's seams read.

The texts are every "#define NAME "text"" of test_support/*_seams.h, plus the
prefixes every seam name carries ("GT_", "GuestToolsTest", "gt_test"),
each looked for as ASCII and as UTF-16LE, case-sensitively. Prints every
find with its file, text, encoding and offset and exits 1 when there is any.

  seam_scan.py FILE...                 shipped files: none may hold a seam text
  seam_scan.py --expect-found FILE...  test-build files: each must hold one
  --seams-dir DIR   where the *_seams.h headers are (default: test_support/)
"""
import argparse
import glob
import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SEAMS_DIR = os.path.join(os.path.dirname(HERE), "test_support")
PREFIXES = ["GT_", "GuestToolsTest", "gt_test"]
# A shorter text (a value name like "on") would be found by chance in any
# program; every seam name also carries one of the prefixes above or is longer.
MIN_TEXT = 6


def header_texts(seams_dir):
    """The string #defines of the *_seams.h headers, as C would read them."""
    texts = []
    for path in sorted(glob.glob(os.path.join(seams_dir, "*_seams.h"))):
        with open(path, encoding="utf-8") as f:
            for line in f:
                m = re.match(r'\s*#\s*define\s+\w+\s+"((?:[^"\\]|\\.)*)"', line)
                if m:
                    texts.append(re.sub(r"\\(.)", r"\1", m.group(1)))
    return texts


def seam_texts(seams_dir):
    texts = []
    for text in PREFIXES + header_texts(seams_dir):
        if len(text) >= MIN_TEXT or text in PREFIXES:
            if text not in texts:
                texts.append(text)
    return texts


def finds(data, texts):
    """(text, encoding, offset) of the first occurrence of each text."""
    found = []
    for text in texts:
        for encoding in ("ascii", "utf-16le"):
            try:
                needle = text.encode(encoding)
            except UnicodeEncodeError:
                continue
            at = data.find(needle)
            if at >= 0:
                found.append((text, encoding, at))
    return found


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--expect-found", action="store_true")
    parser.add_argument("--seams-dir", default=SEAMS_DIR)
    parser.add_argument("files", nargs="+")
    args = parser.parse_args(argv[1:])
    texts = seam_texts(args.seams_dir)
    failures = 0
    for path in args.files:
        try:
            with open(path, "rb") as f:
                data = f.read()
        except OSError as e:
            print("%s: cannot read (%s)" % (path, e.strerror))
            failures += 1
            continue
        found = finds(data, texts)
        for text, encoding, at in found:
            print("%s: %r (%s) at 0x%x" % (path, text, encoding, at))
        if bool(found) != args.expect_found:
            failures += 1
            if args.expect_found:
                print("%s: no seam text found" % path)
    what = "seam texts expected" if args.expect_found else "no seam texts"
    print("== seam scan (%s, %d texts): %d files, %d failed"
          % (what, len(texts), len(args.files), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
