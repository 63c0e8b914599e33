#!/usr/bin/env python3
"""The utility's texts for the end-to-end checks, and checks of what uiauto printed.
Reads resources/texts.txt (id TAB text, \\r\\n for CR LF); CR LF becomes LF, as
uiauto prints it. Needs Python 3 only.

  texts.py text ID [ARG...]              the text, printf-formatted with the arguments
  texts.py sequence FILE ID[:ARG...]...  the watch-status output in FILE shows these
                                         texts in this order (others may come between)
  texts.py last FILE ID[:ARG...]         the last text in FILE is this one
  texts.py id TEXT                       the ID of the text that TEXT is (formatted)
An ID:ARG reference formats text ID with ARG (";" separates several arguments; an argument
"@N" stands for text N)."""
import os
import re
import sys

RESOURCES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources")
sys.path.insert(0, RESOURCES)
from generate_texts import read_texts  # noqa: E402  (the table's one reader)


def load():
    source = os.path.join(RESOURCES, "texts.txt")
    return {number: text.replace("\\r\\n", "\n") for number, text in read_texts(source)}


def printf(fmt, args):
    """The Windows formatter's %d, %s and 0x%08x, the only placeholders the texts use."""
    values = iter(args)

    def one(match):
        placeholder = match.group(0)
        value = next(values)
        if placeholder == "%s":
            return value
        number = int(value, 0)
        if placeholder == "%d":
            return str(number)
        return "%08x" % (number & 0xFFFFFFFF)

    return re.sub(r"%s|%d|%08x", one, fmt)


def text_of(table, reference):
    number, _, rest = reference.partition(":")
    args = [table[int(a[1:])] if a.startswith("@") else a for a in rest.split(";")] if rest else []
    return printf(table[int(number)], args)


def blocks(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        content = f.read().replace("\r", "")
    parts = content.split("\n----\n")
    if parts and parts[-1].strip() in ("", "----"):
        parts = parts[:-1]
    return [p.rstrip("\n") for p in parts]


def main():
    table = load()
    what = sys.argv[1]
    if what == "text":
        sys.stdout.write(text_of(table, sys.argv[2] + (":" + ";".join(sys.argv[3:]) if sys.argv[3:] else "")))
        return 0
    if what == "id":
        for number, fmt in sorted(table.items()):
            pattern = re.escape(fmt).replace("%d", r"-?\d+").replace("%s", ".*").replace("%08x", "[0-9a-f]{8}")
            if re.fullmatch(pattern, sys.argv[2], re.S):
                print(number)
                return 0
        return 1
    seen = blocks(sys.argv[2])
    wanted = [(ref, text_of(table, ref)) for ref in sys.argv[3:]]
    if what == "last":
        if seen and seen[-1] == wanted[0][1]:
            return 0
        print("last status was %r, expected text %s %r" % (seen[-1] if seen else None, wanted[0][0], wanted[0][1]))
        return 1
    position = 0
    for ref, text in wanted:
        while position < len(seen) and seen[position] != text:
            position += 1
        if position == len(seen):
            print("text %s %r not seen in order; statuses seen:" % (ref, text))
            for s in seen:
                print("  | " + s.replace("\n", "\n  | "))
            return 1
        position += 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
