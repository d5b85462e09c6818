"""Reads a book as a reader does and checks that every image reference in its
wrappers and its package document names an entry of the archive.

    python3 check_references.py BOOK.epub

Prints one line per problem and exits 1 when there is any.
"""
import sys
import urllib.parse
import xml.dom.minidom
import zipfile

problems = []
with zipfile.ZipFile(sys.argv[1]) as book:
    names = set(book.namelist())
    refs = []
    for name in sorted(names):
        if name.startswith("OEBPS/") and name.endswith(".html"):
            try:
                doc = xml.dom.minidom.parseString(book.read(name))
            except Exception as e:  # a wrapper that is not well-formed
                problems.append(f"{name}: {e}")
                continue
            for img in doc.getElementsByTagName("img"):
                refs.append((name, img.getAttribute("src")))
    opf = xml.dom.minidom.parseString(book.read("OEBPS/fb.opf"))
    for tag in ("item", "reference"):
        for el in opf.getElementsByTagName(tag):
            refs.append(("OEBPS/fb.opf", el.getAttribute("href")))
    for where, ref in refs:
        if "#" in ref or "?" in ref:
            problems.append(f"{where}: {ref!r} has a fragment or query")
        # Resolved as a reader resolves it: against the document that holds it,
        # so that a part before a colon is taken for a scheme.
        resolved = urllib.parse.urljoin(where, ref)
        target = urllib.parse.unquote(resolved, errors="strict")
        if target not in names and not ref.endswith("stylesheet.css"):
            problems.append(f"{where}: {ref!r} names no entry")
for p in problems:
    print(p)
sys.exit(1 if problems else 0)
