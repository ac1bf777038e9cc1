"""A horizontal bar chart as a self-contained SVG, with no plotting library.

The scale is logarithmic: the tools compared here differ by up to two orders
of magnitude, and on a linear scale the fast ones would be slivers.
"""
import math
from xml.sax.saxutils import escape

LABEL_W, BAR_W, VALUE_W = 190, 460, 70
ROW_H, TOP, BOTTOM = 26, 44, 34


def bar_chart(title, bars, highlight=None):
    """SVG text for `bars`, a list of (label, seconds > 0), drawn top to bottom."""
    low = 10 ** math.floor(math.log10(min(v for _, v in bars)))
    high = 10 ** math.ceil(math.log10(max(v for _, v in bars)))
    if high <= low:
        high = low * 10
    span = math.log10(high / low)
    x = lambda v: LABEL_W + BAR_W * math.log10(v / low) / span  # noqa: E731
    width = LABEL_W + BAR_W + VALUE_W
    height = TOP + ROW_H * len(bars) + BOTTOM
    parts = [
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
        f'viewBox="0 0 {width} {height}" font-family="sans-serif" font-size="13">',
        f'<rect width="{width}" height="{height}" fill="white"/>',
        f'<text x="{width / 2:.0f}" y="22" text-anchor="middle" font-weight="bold">{escape(title)}</text>',
    ]
    axis_y = TOP + ROW_H * len(bars)
    decade = low
    while decade <= high * 1.0001:
        gx = x(decade)
        parts.append(f'<line x1="{gx:.1f}" y1="{TOP - 4}" x2="{gx:.1f}" y2="{axis_y}" stroke="#ccc"/>')
        parts.append(f'<text x="{gx:.1f}" y="{axis_y + 16}" text-anchor="middle">{decade:g} s</text>')
        decade *= 10
    for i, (label, value) in enumerate(bars):
        y = TOP + ROW_H * i
        colour = "#d9534f" if highlight and label.startswith(highlight) else "#5b8fc7"
        if "floor" in label:
            # The copy floors are the targets: darker than the I/O floors.
            colour = "#555" if "copy" in label else "#999"
        parts.append(f'<text x="{LABEL_W - 8}" y="{y + 17}" text-anchor="end">{escape(label)}</text>')
        parts.append(f'<rect x="{LABEL_W}" y="{y + 4}" width="{x(value) - LABEL_W:.1f}" height="{ROW_H - 8}" '
                     f'fill="{colour}"/>')
        parts.append(f'<text x="{x(value) + 5:.1f}" y="{y + 17}">{value:.3f}</text>')
    parts.append("</svg>\n")
    return "\n".join(parts)
