# The study rule's script: gathers every analysis of the sheet into
# study.tsv (one row each: status, location, age, founder share,
# convergence), sensitivity.tsv (the analyses that differ only in growth
# rate, side by side) and index.html (both tables, the location intervals
# drawn on one axis per chromosome, the growth-rate plot, links to the
# reports). Figures come from each run's own files: the pooled rows of
# <control>.summary.tsv, the growth rate of the control file and, when it is
# there, <control>.markers.tsv for marker IDs and base pairs.
import csv
import html
import math
import os

COLUMNS = [
    "name", "status", "reason", "region", "growth_rate", "heterogeneity",
    "location_median_M", "location_low_M", "location_high_M",
    "location_median_cM", "location_low_cM", "location_high_cM",
    "location_median_bp", "location_low_bp", "location_high_bp",
    "marker_below", "marker_above", "age_median", "age_low", "age_high",
    "founder_share_median", "worst_rhat", "smallest_ess", "chains_agree", "report",
]
SENSITIVITY = ["series", "growth_rate", "name", "status", "age_median", "age_low", "age_high",
               "location_median_cM", "location_low_cM", "location_high_cM"]
# The verdict's rule for chains that agree (docs/reading-results.md),
# which never holds for one chain, and the parameters it judges (the
# log_likelihood rows have a warning of their own in the verdict).
RHAT_LIMIT, ESS_NEEDED = 1.01, 400
JUDGED = ("location", "age", "founder_share")


def read_tsv(path):
    with open(path, newline="") as f:
        return list(csv.DictReader(f, delimiter="\t"))


def number(text):
    try:
        value = float(text)
    except (TypeError, ValueError):
        return None
    return value if math.isfinite(value) else None


def fmt(value, digits=6):
    return "" if value is None else f"{value:.{digits}g}"


def growth_rate(control):
    """The growth rate the control file holds: the value under its label."""
    with open(control) as f:
        lines = f.read().splitlines()
    for k, line in enumerate(lines[:-1]):
        if line.startswith("Population growth rate"):
            return lines[k + 1].strip()
    return ""


def marker_table(path):
    """Markers of <control>.markers.tsv, in control-file order, as (ID, base
    position, Morgans), or None without the file or without those columns."""
    if not os.path.exists(path):
        return None
    rows = read_tsv(path)
    if not rows:
        return None
    lower = {k.lower(): k for k in rows[0]}

    def pick(*names):
        return next((lower[n] for n in names if n in lower), None)

    ident, bp, morgans = pick("id"), pick("pos", "position", "bp"), pick("morgans", "map")
    if not (ident and bp and morgans):
        return None
    return [(r[ident], number(r[bp]), number(r[morgans])) for r in rows]


def base_pair(markers, x):
    """Base position of map position x, linear between the markers around it."""
    for (_, bp0, m0), (_, bp1, m1) in zip(markers, markers[1:]):
        if None in (bp0, m0, bp1, m1):
            return None
        if m0 <= x <= m1:
            return bp0 if m1 == m0 else bp0 + (bp1 - bp0) * (x - m0) / (m1 - m0)
    return None


def analysis_row(name, sheet_row, status_path):
    folder = os.path.dirname(status_path)
    control = os.path.join(folder, f"{name}.in")
    with open(status_path) as f:
        state, _, reason = f.readline().rstrip("\n").partition("\t")
    row = {c: "" for c in COLUMNS}
    row.update(name=name, status=state, reason=reason, region=sheet_row["region"],
               growth_rate=sheet_row.get("growth_rate", ""),
               heterogeneity=sheet_row.get("heterogeneity", "no"))
    # A failure's reason starts with the step that failed; later files may be
    # left from an earlier run and are not read.
    if reason.startswith("prepare:") or not os.path.exists(control):
        return row
    row["growth_rate"] = growth_rate(control)
    if reason.startswith("mutloc:"):
        return row
    summary_path = control + ".summary.tsv"
    if not os.path.exists(summary_path):
        row["status"], row["reason"] = "failed", f"mutloc: {summary_path} is missing"
        return row
    summary = read_tsv(summary_path)
    pooled = {r["parameter"]: r for r in summary if r["chain"] == "all"}
    chains = len({r["chain"] for r in summary} - {"all"})
    location, age = pooled.get("location", {}), pooled.get("age", {})
    low, mid, high = (number(location.get(k)) for k in ("hpd_low", "median", "hpd_high"))
    for key, value in zip(("low", "median", "high"), (low, mid, high)):
        row[f"location_{key}_M"] = fmt(value)
        row[f"location_{key}_cM"] = fmt(None if value is None else value * 100)
    markers = marker_table(control + ".markers.tsv")
    if markers:
        for key, value in zip(("low", "median", "high"), (low, mid, high)):
            bp = None if value is None else base_pair(markers, value)
            row[f"location_{key}_bp"] = "" if bp is None else str(round(bp))
        for side in ("marker_below", "marker_above"):
            k = number(location.get(side))
            if k is not None and 1 <= k <= len(markers):
                row[side] = markers[int(k) - 1][0]
    row["age_median"], row["age_low"], row["age_high"] = (
        fmt(number(age.get(k))) for k in ("median", "hpd_low", "hpd_high"))
    if "founder_share" in pooled:
        row["founder_share_median"] = fmt(number(pooled["founder_share"].get("median")))
    judged = [r for p, r in pooled.items() if p in JUDGED]
    rhats = [number(r["rhat"]) for r in judged if number(r["rhat"]) is not None]
    ess = [number(r[k]) for r in judged for k in ("ess_bulk", "ess_tail")
           if number(r[k]) is not None]
    row["worst_rhat"] = fmt(max(rhats, default=None), 4)
    row["smallest_ess"] = str(round(min(ess))) if ess else ""
    agree = (chains > 1 and bool(rhats) and max(rhats) < RHAT_LIMIT
             and min(ess, default=0) >= ESS_NEEDED)
    row["chains_agree"] = "yes" if agree else "no"
    if state == "ok":
        row["report"] = os.path.join(name, f"{name}.in.report.html")
    if state == "ok" and not agree:
        row["status"] = "failed"
        row["reason"] = ("mutloc: one chain cannot be judged: run two or more" if chains < 2 else
                         f"mutloc: the chains do not agree (worst R-hat {row['worst_rhat']}, "
                         f"smallest ESS {row['smallest_ess']}; need R-hat below {RHAT_LIMIT} "
                         f"and ESS {ESS_NEEDED}): run longer")
    return row


def write_tsv(path, columns, rows):
    with open(path, "w", newline="") as f:
        out = csv.DictWriter(f, columns, delimiter="\t", lineterminator="\n",
                             extrasaction="ignore")
        out.writeheader()
        out.writerows(rows)


def interval(prefix, suffix=""):
    """A cell "median (low to high)" from a row's three columns, to four
    digits (base pairs whole)."""
    def cell(r):
        mid, low, high = (number(r[f"{prefix}_{k}{suffix}"]) for k in ("median", "low", "high"))
        show = (lambda v: str(round(v))) if suffix == "_bp" else (lambda v: fmt(v, 4))
        return "" if None in (mid, low, high) else f"{show(mid)} ({show(low)} to {show(high)})"
    return cell


# The page's study table: the .tsv file's figures, an interval to a cell.
PAGE_COLUMNS = [
    ("name", lambda r: r["name"]),
    ("status", lambda r: r["status"]),
    ("region", lambda r: r["region"]),
    ("growth rate", lambda r: r["growth_rate"]),
    ("heterogeneity", lambda r: "yes" if r["heterogeneity"] == "yes" else ""),
    ("location, cM", interval("location", "_cM")),
    ("location, bp", interval("location", "_bp")),
    ("flanking markers", lambda r: r["marker_below"] and f"{r['marker_below']} to "
                                                        f"{r['marker_above']}"),
    ("age, generations", interval("age")),
    ("founder share", lambda r: r["founder_share_median"]),
    ("worst R-hat", lambda r: r["worst_rhat"]),
    ("smallest ESS", lambda r: r["smallest_ess"]),
    ("chains agree", lambda r: r["chains_agree"]),
    ("report", lambda r: r["report"]),
    ("reason", lambda r: r["reason"]),
]


def html_table(columns, rows):
    """A table of (heading, cell text of a row) columns; columns that no row
    fills (base pairs without marker files, the founder share without
    heterogeneity) are left out, and a report path becomes a link."""
    columns = [(h, cell) for h, cell in columns if any(cell(r) for r in rows)]
    head = "".join(f"<th>{html.escape(h)}</th>" for h, _ in columns)
    body = []
    for r in rows:
        cells = []
        for heading, cell in columns:
            text = html.escape(cell(r))
            if heading == "report" and text:
                text = f'<a href="{text}">report</a>'
            cells.append(f'<td class="reason">{text}</td>' if heading == "reason" else
                         f"<td>{text}</td>")
        body.append(f'<tr class="{html.escape(r["status"])}">{"".join(cells)}</tr>')
    return f"<table><tr>{head}</tr>{''.join(body)}</table>"


def axis_svg(title, lanes, x_label, log_x=False):
    """One horizontal axis with a lane per (label, low, mid, high) interval;
    lanes without figures are listed but drawn empty. A log axis needs
    positive values: with a zero the axis is linear."""
    width, left, lane_h, top = 760, 220, 22, 28
    drawn = [l for l in lanes if None not in l[1:]]
    log_x = log_x and all(l[1] > 0 for l in drawn)
    scale = (lambda v: math.log10(v)) if log_x else (lambda v: v)
    if drawn:
        lo = min(scale(l[1]) for l in drawn)
        hi = max(scale(l[3]) for l in drawn)
    else:
        lo, hi = 0.0, 1.0
    if hi <= lo:
        lo, hi = lo - 0.5, hi + 0.5
    x = lambda v: left + (scale(v) - lo) / (hi - lo) * (width - left - 20)
    height = top + lane_h * len(lanes) + 42
    parts = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}">',
             f'<text x="4" y="16" font-weight="bold">{html.escape(title)}</text>']
    for k, (label, low, mid, high) in enumerate(lanes):
        y = top + lane_h * k + lane_h / 2
        parts.append(f'<text x="4" y="{y + 4:.1f}">{html.escape(label)}</text>')
        if None not in (low, mid, high):
            parts.append(f'<line x1="{x(low):.1f}" y1="{y:.1f}" x2="{x(high):.1f}" y2="{y:.1f}" '
                         'stroke="#3366aa" stroke-width="6"/>')
            parts.append(f'<circle cx="{x(mid):.1f}" cy="{y:.1f}" r="4" fill="black"/>')
    base = top + lane_h * len(lanes) + 4
    parts.append(f'<line x1="{left}" y1="{base}" x2="{width - 20}" y2="{base}" stroke="black"/>')
    # The end labels align with the axis's ends so that they stay inside.
    for v, anchor in ((lo, "start"), ((lo + hi) / 2, "middle"), (hi, "end")):
        shown = 10 ** v if log_x else v
        parts.append(f'<text x="{x(shown):.1f}" y="{base + 16}" text-anchor="{anchor}">'
                     f'{fmt(shown, 4)}</text>')
    parts.append(f'<text x="{left}" y="{base + 30}">{html.escape(x_label)}</text></svg>')
    return "".join(parts)


def location_plots(rows):
    """One axis per chromosome: base pairs when every analysis on it has
    them, otherwise cM from each region's first marker."""
    plots = []
    def order(chrom):
        # chr7 and 7 before 12, then the named ones (X, MT).
        bare = chrom[3:] if chrom.lower().startswith("chr") else chrom
        return (0, int(bare), chrom) if bare.isdigit() else (1, 0, chrom)

    for chrom in sorted({r["region"].split(":")[0] for r in rows}, key=order):
        on = [r for r in rows if r["region"].split(":")[0] == chrom]
        unit = "bp" if all(r["location_median_bp"] for r in on) else "cM"
        lanes = [(r["name"] + (" (failed)" if r["status"] == "failed" else ""),
                  *(number(r[f"location_{k}_{unit}"]) for k in ("low", "median", "high")))
                 for r in on]
        label = ("base position" if unit == "bp"
                 else "cM from the first marker of each analysis's region")
        plots.append(axis_svg(f"chromosome {chrom}", lanes, label))
    return plots


def sensitivity_rows(rows, series):
    """The analyses whose series holds more than one growth rate, by series
    and rate."""
    members = {}
    for r in rows:
        members.setdefault(series[r["name"]], []).append(r)
    out = []
    for group in members.values():
        if len({r["growth_rate"] for r in group}) < 2:
            continue
        for r in sorted(group, key=lambda r: number(r["growth_rate"]) or 0):
            out.append(dict(r, series=series[r["name"]]))
    return out


def sensitivity_plots(rows):
    plots = []
    for what, unit in (("age", "generations"), ("location", "cM")):
        suffix = "" if what == "age" else "_cM"
        lanes = [(f"{r['series']} r={r['growth_rate']}",
                  *(number(r[f"{what}_{k}{suffix}"]) for k in ("low", "median", "high")))
                 for r in rows]
        # Ages scale with the inverse of the growth rate: a log axis keeps
        # the young ones apart.
        plots.append(axis_svg(f"{what} against the growth rate r", lanes,
                              f"{what} ({unit}), median and interval", log_x=what == "age"))
    return plots


PAGE = """<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>mutloc study</title>
<style>body{{font-family:sans-serif;margin:1em 2em}}table{{border-collapse:collapse;font-size:90%}}
td,th{{border:1px solid #ccc;padding:2px 6px}}tr.failed td{{background:#fde8e8}}
td{{white-space:nowrap}}td.reason{{white-space:normal;min-width:14em}}svg{{display:block;margin:1em 0}}</style></head><body>
<h1>mutloc study: {count} analyses, {ok} ok, {failed} failed</h1>
<h2>Results</h2>
<p>Posterior medians with their highest-density intervals: the location in centimorgans (cM)
from the first marker of the analysis's region and, where the markers' positions are known, in
base pairs (bp); the age in generations. A failed analysis names its reason; its step's log is
in <code>NAME/logs/</code>. <code>study.tsv</code> holds the same figures, the location in
Morgans as well.</p>
{table}
<h2>Location intervals</h2>
{locations}
<h2>Sensitivity to the growth rate</h2>
{sensitivity}
</body></html>
"""


def main(analyses, series, statuses, table_path, sensitivity_path, index_path, log_path):
    rows = [analysis_row(name, analyses[name], path) for name, path in zip(analyses, statuses)]
    write_tsv(table_path, COLUMNS, rows)
    sens = sensitivity_rows(rows, series)
    write_tsv(sensitivity_path, SENSITIVITY, sens)
    sensitivity = (html_table([(c, lambda r, c=c: r[c]) for c in SENSITIVITY], sens) + "".join(sensitivity_plots(sens)) if sens else
                   "<p>No analyses differ only in their growth rate.</p>")
    page = PAGE.format(count=len(rows), ok=sum(r["status"] == "ok" for r in rows),
                       failed=sum(r["status"] == "failed" for r in rows),
                       table=html_table(PAGE_COLUMNS, rows),
                       locations="".join(location_plots(rows)), sensitivity=sensitivity)
    with open(index_path, "w") as f:
        f.write(page)
    with open(log_path, "w") as f:
        f.writelines(f"{r['name']}\t{r['status']}\t{r['reason']}\n" for r in rows)


main(snakemake.params.analyses, snakemake.params.series, list(snakemake.input),
     snakemake.output.table, snakemake.output.sensitivity, snakemake.output.index,
     snakemake.log[0])
