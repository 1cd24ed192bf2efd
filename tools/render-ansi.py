#!/usr/bin/python3
"""Renders a `tmux capture-pane -e -p` dump (text with SGR colour codes) to a
PNG, cell by cell, in the VGA text-mode palette. Needs Debian's python3-pil.

    render-ansi.py capture.txt out.png
"""
import re
import sys

from PIL import Image, ImageDraw, ImageFont

# The 16 colours in ANSI order (black, red, green, yellow, blue, magenta,
# cyan, white, then the bright ones), as a VGA console shows them.
PALETTE = [(0, 0, 0), (170, 0, 0), (0, 170, 0), (170, 85, 0), (0, 0, 170), (170, 0, 170),
           (0, 170, 170), (170, 170, 170), (85, 85, 85), (255, 85, 85), (85, 255, 85),
           (255, 255, 85), (85, 85, 255), (255, 85, 255), (85, 255, 255), (255, 255, 255)]
SGR = re.compile(r"\x1b\[([0-9;]*)m")


def parse(text):
    rows = []
    fg, bg = 7, 0
    for line in text.split("\n"):
        cells, pos = [], 0
        for m in SGR.finditer(line):
            for ch in line[pos:m.start()]:
                cells.append((ch, fg, bg))
            pos = m.end()
            codes = [int(c) for c in m.group(1).split(";") if c] or [0]
            i = 0
            while i < len(codes):
                c = codes[i]
                if c == 0:
                    fg, bg = 7, 0
                elif 30 <= c <= 37:
                    fg = c - 30
                elif 90 <= c <= 97:
                    fg = c - 90 + 8
                elif 40 <= c <= 47:
                    bg = c - 40
                elif 100 <= c <= 107:
                    bg = c - 100 + 8
                elif c == 39:
                    fg = 7
                elif c == 49:
                    bg = 0
                elif c in (38, 48) and i + 2 < len(codes) and codes[i + 1] == 5:
                    n = codes[i + 2] % 16
                    fg, bg = (n, bg) if c == 38 else (fg, n)
                    i += 2
                i += 1
        for ch in line[pos:]:
            cells.append((ch, fg, bg))
        rows.append(cells)
    return rows


def main():
    rows = parse(open(sys.argv[1], encoding="utf-8").read())[:25]
    font = ImageFont.truetype("/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf", 16)
    cw, ch = 10, 20
    img = Image.new("RGB", (80 * cw, 25 * ch), PALETTE[0])
    draw = ImageDraw.Draw(img)
    for y, cells in enumerate(rows):
        for x, (c, fg, bg) in enumerate(cells[:80]):
            box = (x * cw, y * ch, x * cw + cw - 1, y * ch + ch - 1)
            draw.rectangle(box, fill=PALETTE[bg])
            if c in "─═":
                draw.line((x * cw, y * ch + ch // 2, x * cw + cw, y * ch + ch // 2), fill=PALETTE[fg])
            elif c == "│":
                draw.line((x * cw + cw // 2, y * ch, x * cw + cw // 2, y * ch + ch), fill=PALETTE[fg])
            elif c in "┌┐└┘":
                mx, my = x * cw + cw // 2, y * ch + ch // 2
                h = (x * cw + cw, my) if c in "┌└" else (x * cw, my)
                v = (mx, y * ch + ch) if c in "┌┐" else (mx, y * ch)
                draw.line((mx, my) + h, fill=PALETTE[fg])
                draw.line((mx, my) + v, fill=PALETTE[fg])
            elif c.strip():
                draw.text((x * cw, y * ch + 1), c, font=font, fill=PALETTE[fg])
    img.save(sys.argv[2])


if __name__ == "__main__":
    main()
