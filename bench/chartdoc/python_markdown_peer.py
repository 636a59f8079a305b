"""The script a user would otherwise write: every .md of a folder through Python-Markdown (with
the fenced_code and tables extensions, as chartdoc has), wrapped in a page, and an index."""
import html
import os
import sys

import markdown

PAGE = """<!DOCTYPE html>
<html><head><meta charset="UTF-8"><title>{title}</title></head>
<body><a href="index.html">Back</a><div class="content">
{body}
</div></body></html>
"""


def main(source, target):
    os.makedirs(target, exist_ok=True)
    converter = markdown.Markdown(extensions=["fenced_code", "tables"])
    links = []
    for name in sorted(os.listdir(source)):
        if not name.lower().endswith(".md"):
            continue
        with open(os.path.join(source, name), encoding="utf-8") as file:
            text = file.read()
        base = name[:-3]
        body = converter.reset().convert(text)
        with open(os.path.join(target, base + ".html"), "w", encoding="utf-8") as file:
            file.write(PAGE.format(title=html.escape(base), body=body))
        links.append('<li><a href="{0}.html">{0}</a></li>'.format(base))
    with open(os.path.join(target, "index.html"), "w", encoding="utf-8") as file:
        file.write(PAGE.format(title="Index", body="<ul>" + "".join(links) + "</ul>"))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
