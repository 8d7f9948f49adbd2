#!/usr/bin/env python3
"""Checks the relative links of the project's documents: every link in
README.md, docs/*.md and tools/backoffice/README.md that is not a web address
must name a file or folder that exists, and a #anchor must name a heading of
the Markdown file it points at. Prints one line per broken link (file, line,
target, why) and exits 1 when there is one; exits 0 and prints nothing else
when all are good.

    /usr/bin/python3 tools/docs/check_links.py [ROOT] [FILE...]"""

import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
# Inline links and images: [text](target) or [text](target "title").
INLINE_LINK = re.compile(r"!?\[[^\]]*\]\(\s*<?([^)\s>]+)>?(?:\s+\"[^\"]*\")?\s*\)")
# Reference definitions: [name]: target
REFERENCE = re.compile(r"^\s{0,3}\[[^\]]+\]:\s*<?(\S+?)>?(?:\s|$)")
HEADING = re.compile(r"^\s{0,3}(#{1,6})\s+(.*?)\s*#*\s*$")
FENCE = re.compile(r"^\s{0,3}(```|~~~)")
WEB = re.compile(r"^[a-zA-Z][a-zA-Z0-9+.-]*:")  # http:, https:, mailto:, …


def documents(root):
    """The documents whose links are checked."""
    found = [root / "README.md", root / "tools" / "backoffice" / "README.md"]
    found += sorted((root / "docs").glob("*.md"))
    return [path for path in found if path.exists()]


def prose_lines(text):
    """(line number, line) of the text outside fenced code blocks."""
    in_fence = False
    for number, line in enumerate(text.splitlines(), 1):
        if FENCE.match(line):
            in_fence = not in_fence
            continue
        if not in_fence:
            yield number, line


def slug(heading):
    """The anchor GitHub gives a heading: lower case, punctuation dropped,
    spaces as hyphens (letters of any script and digits kept)."""
    text = re.sub(r"\[([^\]]*)\]\([^)]*\)", r"\1", heading)  # a link keeps its text
    text = text.replace("`", "").strip().lower()
    text = re.sub(r"[^\w\- ]", "", text)
    return text.replace(" ", "-")


def anchors(path):
    """Every anchor of a Markdown file, with GitHub's -1, -2 for repeats."""
    seen = {}
    found = set()
    for _, line in prose_lines(path.read_text(encoding="utf-8")):
        match = HEADING.match(line)
        if not match:
            continue
        base = slug(match.group(2))
        count = seen.get(base, 0)
        seen[base] = count + 1
        found.add(base if count == 0 else "%s-%d" % (base, count))
    return found


def links(path):
    """(line number, target) of every link in a Markdown file."""
    for number, line in prose_lines(path.read_text(encoding="utf-8")):
        line = re.sub(r"`[^`]*`", "", line)  # a link inside inline code is not a link
        for match in INLINE_LINK.finditer(line):
            yield number, match.group(1)
        match = REFERENCE.match(line)
        if match:
            yield number, match.group(1)


def broken_links(path, root):
    """(line number, target, why) of each relative link of the file that does not resolve."""
    problems = []
    for number, target in links(path):
        if WEB.match(target):
            continue
        name, _, anchor = target.partition("#")
        destination = (path.parent / name).resolve() if name else path
        if name.startswith("/"):
            problems.append((number, target, "an absolute path; use a relative one"))
            continue
        if not destination.exists():
            problems.append((number, target, "no such file"))
            continue
        try:
            destination.relative_to(root.resolve())
        except ValueError:
            problems.append((number, target, "outside the repository"))
            continue
        if anchor and destination.suffix == ".md" and anchor not in anchors(destination):
            problems.append((number, target, "no heading with the anchor #%s in %s" % (
                anchor, destination.relative_to(root.resolve()))))
    return problems


def main(argv):
    root = Path(argv[1]).resolve() if len(argv) > 1 else ROOT
    files = [Path(a).resolve() for a in argv[2:]] or documents(root)
    count = 0
    for path in files:
        for number, target, why in broken_links(path, root):
            print("%s:%d: broken link %s: %s" % (path.relative_to(root), number, target, why))
            count += 1
    return 1 if count else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
