# The study sheet: one analysis per row of a tab-separated file, read and
# checked before any job runs. A sheet that cannot be read as a whole (a
# missing column, an unknown one, a repeated name) stops the study with a
# message naming the line; the values of a row are checked by mutloc-prepare
# itself, so that a bad value fails only its own analysis.
import csv
import os
import re

REQUIRED = ["name", "vcf", "cases", "region"]
# Columns that name input files, relative to the working directory.
FILES = ["vcf", "cases", "controls", "map"]
# Every other mutloc-prepare option a row may set, by its column name; the
# option is the name with dashes (burn_in gives --burn-in). read_old is left
# out: its inmat.txt would be shared by every analysis of the working folder.
SETTINGS = [
    "cm_per_mb", "map_format", "model", "min_call_rate", "seed", "chains", "burn_in",
    "iterations", "location_bounds", "start_location", "growth_rate", "sampled", "iterate",
    "flip_all_loci", "adjust", "population_model", "screen_every", "file_every",
    "save_accept", "save_haplotypes", "bars", "alpha", "age", "age_bounds", "star",
]
# heterogeneity (yes/no) is an option of mutloc, not of the converter.
KNOWN = set(REQUIRED + FILES + SETTINGS + ["heterogeneity"])
NAME = re.compile(r"[A-Za-z0-9][A-Za-z0-9._-]*$")


class SheetError(Exception):
    pass


def read(path):
    """The analyses of the sheet, in order: a dict of the row's non-empty
    cells each, a growth_rate cell listing several values (0.02,0.08,0.5)
    giving one analysis per value, named NAME_grVALUE."""
    try:
        with open(path, newline="") as f:
            lines = [(n, line) for n, line in enumerate(f, 1)
                     if line.strip() and not line.startswith("#")]
    except OSError as e:
        raise SheetError(f"cannot read the study sheet {path}: {e.strerror}")
    if len(lines) < 2:
        raise SheetError(f"the study sheet {path} has no analyses: it needs a header line and "
                         "a row per analysis")
    header = next(csv.reader([lines[0][1]], delimiter="\t"))
    header = [h.strip() for h in header]
    where = f"{path} line {lines[0][0]}"
    for column in REQUIRED:
        if column not in header:
            raise SheetError(f"{where}: the column '{column}' is missing")
    unknown = [h for h in header if h not in KNOWN]
    if unknown:
        raise SheetError(f"{where}: unknown column(s) {', '.join(unknown)}; the columns are "
                         f"{', '.join(REQUIRED + FILES[2:] + SETTINGS + ['heterogeneity'])}")
    if len(set(header)) != len(header):
        raise SheetError(f"{where}: a column is named twice")
    analyses = []
    for n, line in lines[1:]:
        cells = next(csv.reader([line.rstrip("\r\n")], delimiter="\t"))
        where = f"{path} line {n}"
        # Editors drop trailing tabs: missing last cells are empty ones.
        if len(cells) > len(header):
            raise SheetError(f"{where}: {len(cells)} cells for {len(header)} columns "
                             "(cells are separated by tabs)")
        row = {h: c.strip() for h, c in zip(header, cells) if c.strip()}
        if row.get("heterogeneity", "no") not in ("yes", "no"):
            raise SheetError(f"{where}: heterogeneity is yes or no, not "
                             f"'{row['heterogeneity']}'")
        rates = row.get("growth_rate", "").split(",")
        expanded = [row] if len(rates) == 1 else [
            dict(row, name=f"{row.get('name', '')}_gr{rate.strip()}", growth_rate=rate.strip(),
                 series=row.get("name", "")) for rate in rates]
        for analysis in expanded:
            if not NAME.match(analysis.get("name", "")):
                raise SheetError(f"{where}: the name '{analysis.get('name', '')}' is not usable "
                                 "as a folder name (letters, digits, '.', '_' and '-')")
        analyses += expanded
    names = [a["name"] for a in analyses]
    twice = sorted({x for x in names if names.count(x) > 1})
    if twice:
        raise SheetError(f"{path}: analysis name(s) used twice: {', '.join(twice)}")
    return {a["name"]: a for a in analyses}


def prepare_arguments(row):
    """The mutloc-prepare options of a row, as a list."""
    args = []
    for column in FILES + SETTINGS + ["region"]:
        if column in row:
            args += ["--" + column.replace("_", "-"), row[column]]
    return args


def mutloc_options(row):
    """The options a row adds to `mutloc --sampler mixing`."""
    return ["--heterogeneity"] if row.get("heterogeneity") == "yes" else []


def existing_inputs(row):
    """The row's input files that exist. A missing file fails its own
    analysis (mutloc-prepare names it) instead of the whole study; once it
    exists it is an input, and a change to it reruns the analysis."""
    return [row[c] for c in FILES if c in row and os.path.exists(row[c])]


def chains(row):
    """The chains of a row (mutloc-prepare's default is 2); a value that is
    not a count asks for one thread and fails in mutloc-prepare."""
    value = row.get("chains", "2")
    return int(value) if value.isdigit() and int(value) > 0 else 1


def series(analyses):
    """Analyses that differ only in their name and growth rate form one
    growth-rate series of the sensitivity table: {name: series label}, the
    label being the sheet row's name for a row of several growth rates, else
    the name of the series's first analysis."""
    labels, out = {}, {}
    for name, row in analyses.items():
        key = row.get("series") or "|".join(
            f"{k}={v}" for k, v in sorted(row.items()) if k not in ("name", "growth_rate"))
        out[name] = labels.setdefault(key, row.get("series", name))
    return out
