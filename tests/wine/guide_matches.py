#!/usr/bin/python3
"""guide_matches.py GUIDE.md GUIDE.html: the HTML page carries every heading and every code block of
the guide, in order, each code block byte for byte; status 1 with the first difference."""
import html, re, sys
guide = open(sys.argv[1], encoding="utf-8").read()
page = open(sys.argv[2], encoding="utf-8").read().replace("\r\n", "\n")
headings, blocks, inside = [], [], None
for line in guide.split("\n"):
    if line.startswith("```"):
        blocks += [] if inside is None else ["".join(l + "\n" for l in inside)]
        inside = [] if inside is None else None
    elif inside is not None:
        inside.append(line)
    elif re.match(r"#{1,6} ", line):
        headings.append(line.lstrip("#").strip().replace("`", ""))
shown = [html.unescape(re.sub(r"<[^>]+>", "", h))
         for h in re.findall(r"<h[1-6][^>]*>(.*?)</h[1-6]>", page, re.S)]
code = [html.unescape(c) for c in re.findall(r"<pre><code[^>]*>(.*?)</code></pre>", page, re.S)]
for kind, want, got in (("headings", headings, shown), ("code blocks", blocks, code)):
    if want != got:
        bad = next(i for i in range(max(len(want), len(got)))
                   if i >= len(want) or i >= len(got) or want[i] != got[i])
        sys.exit("%s: %d in the guide, %d in the page; first difference at %d: %r / %r" % (
            kind, len(want), len(got), bad, want[bad:bad + 1], got[bad:bad + 1]))
