#!/usr/bin/env python3
"""tests/docs/check_documents.py links ROOT DOCUMENT... | readme ROOT - the documents' links and
the README's shape.

links: every relative link of each document (a path from the document's folder, with or without
a #heading) names a file or folder, and a #heading is a heading of the Markdown file it points
into; links to other sites are left alone, and so is text in code.
readme: ROOT's README.md keeps to 300 lines and names every folder at ROOT's top (hidden ones and
those .gitignore keeps out of the tree aside) as `name/`.
Prints one line a fault and exits 1 when there is one.
"""
import os
import re
import sys

README_LINES = 300
FENCE = re.compile(r"^(```|~~~)")
INLINE_CODE = re.compile(r"`[^`]*`")
LINK = re.compile(r"\[[^\]]*\]\(([^)\s]+)(?:\s+\"[^\"]*\")?\)")
REFERENCE = re.compile(r"^\s*\[[^\]]+\]:\s*(\S+)")
HEADING = re.compile(r"^#{1,6}\s+(.*?)\s*#*\s*$")


def prose_lines(path):
    """The document's lines outside fenced code, numbered from 1, as they are and with inline code
    blanked."""
    with open(path, encoding="utf-8") as text:
        lines = text.read().split("\n")
    fenced = False
    for number, line in enumerate(lines, 1):
        if FENCE.match(line.lstrip()):
            fenced = not fenced
            continue
        if not fenced:
            yield number, line, INLINE_CODE.sub("``", line)


def anchor(heading):
    """The anchor a Markdown renderer gives a heading: lower case, punctuation dropped, blanks
    as hyphens."""
    plain = re.sub(r"[^\w\- ]", "", heading.replace("`", "").lower())
    return plain.replace(" ", "-")


def anchors(path):
    headings = (HEADING.match(line) for _, line, _ in prose_lines(path))
    return {anchor(m.group(1)) for m in headings if m}


def link_faults(root, document):
    path = os.path.join(root, document)
    faults = []
    for number, _, line in prose_lines(path):
        targets = [m.group(1) for m in LINK.finditer(line)]
        reference = REFERENCE.match(line)
        if reference:
            targets.append(reference.group(1))
        for target in targets:
            if re.match(r"^[a-zA-Z][a-zA-Z0-9+.-]*:", target):
                continue
            file_part, _, heading = target.partition("#")
            named = path
            if file_part:
                named = os.path.normpath(os.path.join(os.path.dirname(path), file_part))
            where = "%s:%d: %s" % (document, number, target)
            if not os.path.exists(named):
                faults.append("%s names no file" % where)
            elif heading and named.endswith(".md") and heading not in anchors(named):
                faults.append("%s names no heading of %s" % (where, os.path.relpath(named, root)))
    return faults


def ignored_folders(root):
    """The top-level folders .gitignore keeps out of the tree (entries such as /build/)."""
    try:
        with open(os.path.join(root, ".gitignore"), encoding="utf-8") as text:
            entries = text.read().split()
    except FileNotFoundError:
        return set()
    return {e.strip("/") for e in entries if e.startswith("/") and e.endswith("/")}


def readme_faults(root):
    path = os.path.join(root, "README.md")
    with open(path, encoding="utf-8") as text:
        content = text.read()
    faults = []
    count = content.count("\n")
    if count > README_LINES:
        faults.append("README.md has %d lines; it keeps to %d" % (count, README_LINES))
    skipped = ignored_folders(root)
    for name in sorted(os.listdir(root)):
        if name.startswith(".") or name in skipped or not os.path.isdir(os.path.join(root, name)):
            continue
        if "`%s/`" % name not in content:
            faults.append("README.md does not name the folder `%s/`" % name)
    return faults


def main():
    check, root, documents = sys.argv[1], sys.argv[2], sys.argv[3:]
    faults = []
    if check == "readme":
        faults = readme_faults(root)
    for document in documents if check == "links" else []:
        faults += link_faults(root, document)
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
