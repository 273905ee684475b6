#!/usr/bin/python3
# Draws the chooser's pictures (needs Debian's python3-pil); run it here and commit the PNGs:
#   /usr/bin/python3 draw_pictures.py
from PIL import Image, ImageDraw

BLUE, DARK, LIGHT, PAPER, ORANGE, GREEN = "#2860a8", "#1c3f6e", "#dce8f6", "#ffffff", "#e08a2c", "#3c8c4c"


def side_picture():
    """The tall picture at the chooser's left: a stack of pages over a database drum."""
    im = Image.new("RGB", (96, 223), BLUE)
    d = ImageDraw.Draw(im)
    for i in range(12):  # a soft vertical shade
        d.rectangle([0, i * 19, 95, i * 19 + 18], fill=(40 + i * 3, 96 + i * 4, 168 + i * 3))
    for n, (x, y) in enumerate([(22, 22), (30, 30), (38, 38)]):  # three pages
        d.rectangle([x, y, x + 38, y + 50], fill=PAPER, outline=DARK)
        for line in range(5):
            d.line([x + 6, y + 10 + line * 8, x + 32 - (line % 2) * 8, y + 10 + line * 8], fill=BLUE if n == 2 else LIGHT)
    top, left, right = 130, 22, 74  # the drum
    for band in range(3):
        y = top + band * 18
        d.rectangle([left, y + 8, right, y + 26], fill=ORANGE, outline=DARK)
        d.ellipse([left, y, right, y + 16], fill="#f2b066", outline=DARK)
    d.ellipse([left, top, right, top + 16], fill="#f6c88e", outline=DARK)
    d.line([48, 100, 48, 126], fill=PAPER, width=3)  # the arrow from the data to the pages
    d.polygon([(40, 108), (56, 108), (48, 96)], fill=PAPER)
    return im


def entry_icon():
    """A form with two fields and a button: the data-entry application."""
    im = Image.new("RGBA", (40, 40), (0, 0, 0, 0))
    d = ImageDraw.Draw(im)
    d.rectangle([3, 2, 36, 37], fill=PAPER, outline=DARK)
    d.rectangle([3, 2, 36, 8], fill=BLUE, outline=DARK)
    for y in (13, 21):
        d.line([7, y + 2, 13, y + 2], fill=DARK)
        d.rectangle([16, y, 32, y + 5], fill=PAPER, outline=BLUE)
    d.rectangle([20, 29, 32, 34], fill=GREEN, outline=DARK)
    return im


def drill_icon():
    """A list with one row opened under a magnifier: the drill-down application."""
    im = Image.new("RGBA", (40, 40), (0, 0, 0, 0))
    d = ImageDraw.Draw(im)
    d.rectangle([2, 2, 30, 30], fill=PAPER, outline=DARK)
    for y in range(7, 28, 5):
        d.line([6, y, 26, y], fill=BLUE if y != 17 else ORANGE, width=2 if y == 17 else 1)
    d.ellipse([18, 18, 34, 34], outline=DARK, width=3)
    d.line([31, 31, 38, 38], fill=DARK, width=4)
    return im


def maintenance_icon():
    """A table with a pencil: the maintenance application (not offered yet)."""
    im = Image.new("RGBA", (40, 40), (0, 0, 0, 0))
    d = ImageDraw.Draw(im)
    d.rectangle([2, 6, 32, 34], fill=PAPER, outline=DARK)
    for y in (13, 20, 27):
        d.line([2, y, 32, y], fill=BLUE)
    d.line([14, 6, 14, 34], fill=BLUE)
    d.line([22, 30, 37, 15], fill=ORANGE, width=4)
    return im


side_picture().save("chooser.png")
entry_icon().save("data-entry.png")
drill_icon().save("drill-down.png")
maintenance_icon().save("maintenance.png")
