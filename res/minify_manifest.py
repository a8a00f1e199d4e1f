#!/usr/bin/env python3
"""Writes the application manifest without its comments and the blanks
between elements, as the exe carries it: minify_manifest.py IN OUT"""
import re
import sys


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        text = f.read()
    text = re.sub(r"<!--.*?-->", "", text, flags=re.S)
    text = re.sub(r">\s+<", "><", text).strip()
    with open(sys.argv[2], "w", encoding="utf-8", newline="") as f:
        f.write(text)


if __name__ == "__main__":
    main()
