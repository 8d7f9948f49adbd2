"""The benchmark's arithmetic and its table: percentiles, ratios, and the
rows printed side by side for the program and the kiosk browser."""


def percentile(samples, share):
    """The nearest-rank percentile (share in 0..100) of a list; None when empty."""
    if not samples:
        return None
    ordered = sorted(samples)
    rank = max(1, -(-len(ordered) * share // 100))  # ceil without floats
    return ordered[int(min(rank, len(ordered))) - 1]


def ratio(ours, theirs):
    """ours / theirs; None when either is missing or theirs is zero."""
    if ours is None or theirs is None or theirs == 0:
        return None
    return ours / theirs


def cell(value, unit="", digits=2):
    if value is None:
        return "-"
    return ("%." + str(digits) + "f%s") % (value, unit)


def ratio_cell(value):
    return "-" if value is None else "%.2fx" % value


def table(rows, headers):
    """Rows of texts as aligned columns, the first left-aligned."""
    widths = [max(len(str(r[i])) for r in [headers] + rows) for i in range(len(headers))]

    def line(row):
        first = str(row[0]).ljust(widths[0])
        rest = [str(v).rjust(w) for v, w in zip(row[1:], widths[1:])]
        return "  ".join([first] + rest)
    return "\n".join([line(headers), line(["-" * w for w in widths])] + [line(r) for r in rows])


def verdict(value, limit):
    """'met' / 'NOT met' for value <= limit; '-' without a value."""
    if value is None:
        return "-"
    return "met" if value <= limit else "NOT met"
