#!/usr/bin/env python3
"""Generates both forms of the text table from resources/texts.txt:
  --table OUT  a C++ initialiser list of {id, "bytes"} in code page 932 (octal escapes)
  --rc OUT     a Windows STRINGTABLE in UTF-8 (for windres -c 65001)"""
import argparse


def read_texts(path):
    texts = []
    with open(path, encoding="utf-8") as source:
        for line in source:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            number, text = line.split("\t", 1)
            texts.append((int(number), text))
    return texts


def unescape(text):
    return text.replace("\\r", "\r").replace("\\n", "\n")


def write_table(texts, path):
    with open(path, "w", encoding="ascii") as out:
        out.write("// Generated from resources/texts.txt: do not edit.\n")
        for number, text in texts:
            encoded = unescape(text).encode("cp932")
            body = "".join("\\%03o" % byte for byte in encoded)
            out.write('{%d, "%s"},\n' % (number, body))


def write_rc(texts, path):
    with open(path, "w", encoding="utf-8") as out:
        out.write("// Generated from resources/texts.txt: do not edit.\n")
        out.write("LANGUAGE LANG_JAPANESE, SUBLANG_DEFAULT\nSTRINGTABLE\nBEGIN\n")
        for number, text in texts:
            unescape(text).encode("cp932")  # every text must exist in code page 932
            out.write('    %d, "%s"\n' % (number, text.replace('"', '""')))
        out.write("END\n")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("source")
    parser.add_argument("--table")
    parser.add_argument("--rc")
    args = parser.parse_args()
    texts = read_texts(args.source)
    if args.table:
        write_table(texts, args.table)
    if args.rc:
        write_rc(texts, args.rc)


if __name__ == "__main__":
    main()
