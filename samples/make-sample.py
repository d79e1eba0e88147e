#!/usr/bin/python3
"""Regenerate samples/sample.pdf: a one-page document with an English and a
Russian paragraph, set in an embedded (subset) Unicode TrueType font so the
converter can extract real text in every encoding the plug-in offers. With
--western, samples/western.pdf instead: the same made with a paragraph of the
characters Windows code page 1252 has and Latin-1 lacks, and a second page
with ligatures. With --quotes, samples/quotes.pdf: two pages of English with
typographic quotes and en dashes, which every encoding of the plug-in holds
as one byte each. With --pages, samples/pages.pdf: three pages, the middle one
a table with characters some encodings write as two bytes or leave out, the
others plain. With --blank, samples/blank.pdf: one page without text.

Usage: /usr/bin/python3 make-sample.py [--western | --quotes | --pages | --blank] [OUTPUT.pdf]
"""
import os
import sys

from reportlab import rl_config

# Invariant mode pins the creation date and document ID, so rerunning the
# script gives byte-identical output and the sample does not churn in git.
rl_config.invariant = 1

from reportlab.lib.pagesizes import A5
from reportlab.lib.styles import ParagraphStyle
from reportlab.lib.units import mm
from reportlab.pdfbase import pdfmetrics
from reportlab.pdfbase.ttfonts import TTFont
from reportlab.platypus import PageBreak, Paragraph, SimpleDocTemplate, Spacer, Table

FONT_DIR = "/usr/share/fonts/truetype/dejavu"

TITLE = "Harbour Notes"

# Distinctive words for end-to-end searches: "lighthouse" and "café" here
# (the é makes the Latin1 and UTF-8 outputs differ even in English text),
# "маяк" and "ё" in the Russian paragraph (ё sits outside KOI8-R's main
# Cyrillic block, 0xA3).
ENGLISH = (
    "The old lighthouse stands on a rocky cape at the mouth of the harbour. "
    "Every evening its keeper climbs the one hundred and twelve steps, lights "
    "the lamp and writes the weather in a worn café notebook before the first "
    "ship passes."
)

RUSSIAN = (
    "Старый маяк стоит на скалистом мысе у входа в гавань. Каждый вечер "
    "смотритель поднимается по ста двенадцати ступеням, зажигает огонь и "
    "записывает погоду в потёртую тетрадь, прежде чем пройдёт первый корабль."
)

# Code page 1252 holds these in 0x80-0x9F, where Latin-1 has control codes;
# "é" is in both, "маяк" in neither.
WESTERN_TITLE = "Harbour Prices"
WESTERN = (
    "The caf\u00e9\u2019s \u201cHarbour\u201d menu \u2013 fish at 12 \u20ac \u2014 "
    "is \u2018fine\u2019\u2026 say \u0160imon and \u017dofia, "
    "who call the lighthouse \u043c\u0430\u044f\u043a."
)

# The second page: ligature characters, which converters write as two or three
# letters in some encodings and leave out in others, at a line's end and inside it.
LIGATURES = (
    "The \ufb01sh \ufb02oat in the harbour, and the keeper's sta\ufb00 \ufb01nd them "
    "at the \ufb01rst \ufb02ood"
)

# Below them, two columns: the converter places the second by counting the first's
# columns, in characters for UTF-8 but in bytes for other encodings, so a character
# written as two bytes or left out there moves the second column in those.
PRICES = [["Caf\u00e9 noir", "2 coins"], ["Soup \u2014 fresh", "4 coins"]]

# The middle page of pages.pdf: an em dash, "é", typographic quotes and Cyrillic
# move the second column in KOI8-R or in ANSI; the pages around it hold what
# every encoding writes as one byte each.
PAGES_TABLE = [["Soup \u2014 fresh", "4 coins"], ["Caf\u00e9 \u201c\u043c\u0430\u044f\u043a\u201d", "9 coins"]]

QUOTES_TITLE = "Harbour Rules"
QUOTES = (
    "\u201cKeep the lamp lit\u201d \u2013 the first rule \u2013 and \u2018log the weather\u2019 "
    "are written above the keeper\u2019s door, where every visitor reads them."
)
QUOTES_NEXT = (
    "The second page: \u201cno ship passes unseen\u201d, from dusk to dawn \u2013 every night."
)


def main(argv):
    western = "--western" in argv
    blank = "--blank" in argv
    quotes = "--quotes" in argv
    pages = "--pages" in argv
    argv = [a for a in argv if a not in ("--western", "--blank", "--quotes", "--pages")]
    out = argv[1] if len(argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)),
        "western.pdf" if western else "blank.pdf" if blank else "quotes.pdf" if quotes
        else "pages.pdf" if pages else "sample.pdf")

    # One face only: each embedded face costs ~20 KB (DejaVu's hinted glyphs
    # and its long name table), so the title differs by size, not weight.
    # TTFont embeds only the glyphs used (a subset) and writes a ToUnicode
    # map, which is what lets the converter recover the characters.
    pdfmetrics.registerFont(TTFont("DejaVuSans", os.path.join(FONT_DIR, "DejaVuSans.ttf")))

    title_style = ParagraphStyle("title", fontName="DejaVuSans",
                                 fontSize=16, leading=20, spaceAfter=6 * mm)
    body_style = ParagraphStyle("body", fontName="DejaVuSans",
                                fontSize=10, leading=14)

    doc = SimpleDocTemplate(
        out, pagesize=A5,
        leftMargin=15 * mm, rightMargin=15 * mm,
        topMargin=15 * mm, bottomMargin=15 * mm,
        title=TITLE, author="", subject="Sample document for text extraction",
        creator="make-sample.py", invariant=1,
        # Start each page in the embedded face too; otherwise the page also
        # names an unused, unembedded Helvetica.
        initialFontName="DejaVuSans",
    )
    if western:
        doc.title = WESTERN_TITLE
        doc.build([Paragraph(WESTERN_TITLE, title_style), Paragraph(WESTERN, body_style),
                   PageBreak(), Paragraph(LIGATURES, body_style), Spacer(1, 5 * mm),
                   Table(PRICES, colWidths=[45 * mm, 30 * mm],
                         style=[("FONTNAME", (0, 0), (-1, -1), "DejaVuSans")])])
    elif quotes:
        doc.title = QUOTES_TITLE
        doc.build([Paragraph(QUOTES_TITLE, title_style), Paragraph(QUOTES, body_style),
                   PageBreak(), Paragraph(QUOTES_NEXT, body_style)])
    elif pages:
        doc.title = QUOTES_TITLE
        doc.build([Paragraph(QUOTES, body_style), PageBreak(),
                   Table(PAGES_TABLE, colWidths=[45 * mm, 30 * mm],
                         style=[("FONTNAME", (0, 0), (-1, -1), "DejaVuSans")]),
                   PageBreak(), Paragraph(QUOTES_NEXT, body_style)])
    elif blank:
        doc.title = "Blank"
        doc.build([Spacer(1, 5 * mm)])
    else:
        doc.build([
            Paragraph(TITLE, title_style),
            Paragraph(ENGLISH, body_style),
            Spacer(1, 5 * mm),
            Paragraph(RUSSIAN, body_style),
        ])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
