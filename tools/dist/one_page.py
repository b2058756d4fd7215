#!/usr/bin/env python3
"""one_page.py -- a web page as one file that plays opened from disk.

Usage: one_page.py PAGE OUT SCRIPT_DIR... [--link OLD=NEW]...

Every <script src="NAME"></script> of PAGE is replaced by NAME's content,
taken from the first SCRIPT_DIR that holds it (the build's single-file
scripts first: they carry their .wasm inside). A browser refuses a page
opened from disk (file://) the files beside it, so the page must need none:
any script that cannot be found, or any other file the page would load,
is an error. Links to other pages (href="X.html") stay, as the pages travel
together; --link renames one where the page is called otherwise there.
"""
import os
import re
import sys

SCRIPT = re.compile(r'<script src="([^"]+)"></script>')


def script_text(name, folders):
    for folder in folders:
        path = os.path.join(folder, name)
        if os.path.isfile(path):
            with open(path, encoding="utf-8") as f:
                text = f.read()
            # Inside <script> the HTML parser ends the script at "</script"
            # and changes state at "<!--"; in a script both can only be in a
            # string or a regular expression, where "<\/" means the same.
            if "<!--" in text:
                raise ValueError(f"{path} holds '<!--', which cannot go inline")
            return re.sub(r"</(script)", r"<\\/\1", text, flags=re.IGNORECASE)
    raise ValueError(f"no {name} in {', '.join(folders)}")


def main(argv):
    links = {}
    args = []
    i = 1
    while i < len(argv):
        if argv[i] == "--link" and i + 1 < len(argv) and "=" in argv[i + 1]:
            old, new = argv[i + 1].split("=", 1)
            links[old] = new
            i += 2
        else:
            args.append(argv[i])
            i += 1
    if len(args) < 3 or any(a.startswith("--") for a in args):
        print("usage: one_page.py PAGE OUT SCRIPT_DIR... [--link OLD=NEW]...", file=sys.stderr)
        return 2
    page, out, folders = args[0], args[1], args[2:]
    try:
        with open(page, encoding="utf-8") as f:
            html = f.read()
        # Anything else the page would load beside it (src=, or a local
        # href that is not a page).
        for m in re.finditer(r'\b(src|href)="([^"#:]+)"', SCRIPT.sub("", html)):
            if m.group(1) == "src" or not m.group(2).endswith(".html"):
                raise ValueError(f"the page loads {m.group(2)}, which is not inside it")
        for old, new in links.items():
            html = html.replace(f'href="{old}"', f'href="{new}"')
        html = SCRIPT.sub(lambda m: "<script>\n" + script_text(m.group(1), folders) + "\n</script>", html)
        with open(out, "w", encoding="utf-8") as f:
            f.write(html)
    except (OSError, ValueError) as e:
        print(f"one_page.py: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
