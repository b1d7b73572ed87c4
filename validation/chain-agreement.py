#!/usr/bin/env python3
"""Whether the chains of many runs agree: reads every run's summary
(<control>.summary.tsv) below a folder, for example the run folders a
calibration study kept, and reports each run's pooled R-hat and bulk ESS of
the location, the age and the log-likelihood (and of the founder share when
the run sampled one), then how many runs have R-hat below 1.01 for both the
location and the age.

    validation/chain-agreement.py KEPT_FOLDER [--out FILE]
"""
import argparse
import csv
import glob
import os
import sys

PARAMETERS = ("location", "age", "log_likelihood", "founder_share")
LIMIT = 1.01


def pooled_rows(path):
    with open(path, newline="") as f:
        return {row["parameter"]: row for row in csv.DictReader(f, delimiter="\t")
                if row["chain"] == "all"}


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("folder")
    ap.add_argument("--out", help="write the report here as well as to the screen")
    a = ap.parse_args()
    summaries = sorted(glob.glob(os.path.join(a.folder, "**", "*.summary.tsv"), recursive=True))
    if not summaries:
        sys.exit("chain-agreement: no *.summary.tsv below %s" % a.folder)
    lines = ["run\t" + "\t".join("%s_rhat\t%s_ess" % (p, p) for p in PARAMETERS)]
    agree = 0
    for path in summaries:
        rows = pooled_rows(path)
        cells = []
        for p in PARAMETERS:
            row = rows.get(p)
            cells += [row["rhat"], row["ess_bulk"]] if row else ["NA", "NA"]
        lines.append(os.path.relpath(os.path.dirname(path), a.folder) + "\t" + "\t".join(cells))
        agree += all(p in rows and float(rows[p]["rhat"]) < LIMIT for p in ("location", "age"))
    lines.append("runs whose chains agree (R-hat below %.2f for location and age): %d of %d"
                 % (LIMIT, agree, len(summaries)))
    text = "\n".join(lines) + "\n"
    sys.stdout.write(text)
    if a.out:
        with open(a.out, "w") as f:
            f.write(text)


if __name__ == "__main__":
    main()
