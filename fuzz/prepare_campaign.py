#!/usr/bin/env python3
"""A seeded mutation campaign against mutloc-prepare.

Intact inputs (a plain VCF, the same VCF bgzipped, a PLINK data set, each
with its lists and genetic map) are converted once; then damaged copies, one
damage each, are converted. Damage here is what no whole file holds: a POS,
map number or PED allele that is not one, a NUL or other control byte, a
column added or removed, a tab made a space, a file cut inside a line, a
byte of bgzip's blocks changed or cut. For every damaged input the converter
must either refuse it (status 1 or 2, a message naming the damaged file,
nothing written) or write exactly the intact input's control file; with
--skip-bad-records it may also write another one, provided it lists the
skipped records. Anything else is a finding, kept in the work folder.

  prepare_campaign.py PREPARE_BINARY [--seed S] [--inputs N] [--seconds T]
                      [--regressions DIR] [--work DIR] [--keep DIR]

The regression inputs (fuzz/regressions/prepare/SCENARIO__FILE__NAME, each
the damaged file of its scenario) are replayed first. --keep saves the first
damaged input of every operator into DIR, named that way.
"""
import argparse
import gzip
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib

# ---------------------------------------------------------------------------
# The intact inputs: fixed, whatever the seed, so that regression inputs keep
# their meaning.

SAMPLES = ["c1", "c2", "c3", "c4", "k1", "k2", "k3", "k4", "k5"]
CASES, CONTROLS = SAMPLES[:4], SAMPLES[4:]
REGION = "1:1000-60000"


def records():
    rng = random.Random(20261208)
    recs = []
    positions = [1500 + 2500 * k + rng.randrange(500) for k in range(20)] + [70000]
    for k, pos in enumerate(positions):
        gts = []
        for s in SAMPLES:
            a = [rng.random() < 0.4, rng.random() < 0.4]
            gts.append("%d|%d" % (a[0], a[1]) if rng.random() > 0.04 else ".|.")
        recs.append(("1", pos, "rs%d" % (k + 1), "ACGT"[k % 4], "ACGT"[(k + 1) % 4], gts))
    recs.append(("2", 500, "rs99", "A", "G", ["0|1"] * len(SAMPLES)))
    return recs


def vcf_text():
    lines = ["##fileformat=VCFv4.2", "##contig=<ID=1,length=1000000>",
             "##contig=<ID=2,length=1000000>",
             '##FORMAT=<ID=GT,Number=1,Type=String,Description="Genotype">',
             "\t".join(["#CHROM", "POS", "ID", "REF", "ALT", "QUAL", "FILTER", "INFO",
                        "FORMAT"] + SAMPLES)]
    for chrom, pos, rid, ref, alt, gts in records():
        lines.append("\t".join([chrom, str(pos), rid, ref, alt, ".", ".", ".", "GT"] + gts))
    return "\n".join(lines) + "\n"


def rate_map_text():
    rows = ["chr pos rate cM"]
    for k, bp in enumerate(range(1000, 62001, 6100)):
        rows.append("1 %d 1 %.3f" % (bp, 0.35 * k + 0.01 * (k % 3)))
    rows.append("2 100 1 0")
    return "\n".join(rows) + "\n"


def plink_texts():
    recs = records()
    maps, ped = [], []
    for k, (chrom, pos, rid, _, _, _) in enumerate(recs):
        maps.append("%s %s %.4f %d" % (chrom, rid, pos / 1e5 + 0.001 * k, pos))
    for i, s in enumerate(SAMPLES):
        alleles = []
        for _, _, _, ref, alt, gts in recs:
            for a in gts[i].split("|"):
                alleles.append("0" if a == "." else (alt if a == "1" else ref))
        status = "2" if s in CASES else "1"
        ped.append(" ".join(["f%d" % i, s, "0", "0", "1", status] + alleles))
    return "\n".join(ped) + "\n", "\n".join(maps) + "\n"


def bgzf(data, block=700):
    """BGZF: gzip members of at most block bytes with the BC extra field,
    then the empty end-of-file member."""
    out = b""
    for at in range(0, len(data), block):
        chunk = data[at:at + block]
        c = zlib.compressobj(6, zlib.DEFLATED, -15)
        body = c.compress(chunk) + c.flush()
        size = 18 + len(body) + 8
        out += (b"\x1f\x8b\x08\x04\x00\x00\x00\x00\x00\xff\x06\x00BC\x02\x00" +
                struct.pack("<H", size - 1) + body +
                struct.pack("<II", zlib.crc32(chunk) & 0xffffffff, len(chunk)))
    return out + bytes.fromhex("1f8b08040000000000ff0600424302001b0003000000000000000000")


def scenarios():
    """Name -> (files, arguments, the files damage is applied to)."""
    lists = {"cases.txt": "\n".join(CASES) + "\n", "controls.txt": "\n".join(CONTROLS) + "\n",
             "g.txt": rate_map_text()}
    common = "--region %s --min-call-rate 0.5 --out out/d.in" % REGION
    vcf = dict(lists, **{"a.vcf": vcf_text()})
    ped, pmap = plink_texts()
    lists_args = "--cases cases.txt --controls controls.txt --map g.txt "
    return {
        "vcf": ({k: v.encode() for k, v in vcf.items()},
                "--vcf a.vcf " + lists_args + common, ["a.vcf", "g.txt", "cases.txt"]),
        "vcfgz": (dict({k: v.encode() for k, v in lists.items()}, **{"a.vcf.gz": bgzf(vcf_text().encode())}),
                  "--vcf a.vcf.gz " + lists_args + common, ["a.vcf.gz"]),
        "ped": ({"a.ped": ped.encode(), "a.map": pmap.encode()},
                "--ped a.ped --map-plink a.map --phased " + common, ["a.ped", "a.map"]),
    }


# ---------------------------------------------------------------------------
# Damage. Each operator takes the file's bytes and a random source and
# returns the damaged bytes, or None when it does not apply.

BAD_POS = [b".", b"-5", b"0", b"1.2e6", b"12O1000", b"1,200,300", b"0x12",
           b"9223372036854775807", b"12\x0034", b"+5000", b"05000", b"", b"5000 ", b"1e4"]
BAD_NUMBERS = [b"-5", b"1200\x00500", b"0x12", b"1,200", b".", b"nan", b"inf", b"1e400",
               b"12O0", b"", b"--1"]
# A negative base position in a PLINK .map is that format's mark of an
# excluded marker, not damage.
BAD_PLINK_POSITIONS = [n for n in BAD_NUMBERS if n != b"-5"]
BAD_ALLELES = [b".", b"-9", b"N", b"00", b"\x01", b"a", b"1", b"AN", b"-"]
CONTROL_BYTES = bytes([b for b in range(32) if b not in (9, 10)] + [127])


def data_lines(text):
    """Offsets (start, end) of the lines not starting with '#'."""
    spans, at = [], 0
    for line in text.split(b"\n"):
        if line and not line.startswith(b"#"):
            spans.append((at, at + len(line)))
        at += len(line) + 1
    return spans


def field_op(choose_value, fields_of):
    """Replaces one field of one data line; fields_of gives the field numbers
    the operator may choose, from the split line."""
    def op(text, rng, name):
        spans = data_lines(text)
        if not spans:
            return None
        start, end = rng.choice(spans)
        sep = b"\t" if b"\t" in text[start:end] else b" "
        fields = text[start:end].split(sep)
        choices = fields_of(fields, name)
        if not choices:
            return None
        k = rng.choice(choices)
        fields[k] = choose_value(rng, name, k)
        return text[:start] + sep.join(fields) + text[end:]
    return op


def pos_fields(fields, name):
    return [1] if name.startswith("a.vcf") else []


def number_fields(fields, name):
    if name == "g.txt" and fields[0] != b"chr":
        return [1, 3]
    return [2, 3] if name == "a.map" else []


def allele_fields(fields, name):
    return list(range(6, len(fields))) if name == "a.ped" else []


def insert_control(text, rng, name):
    at = rng.randrange(len(text) + 1)
    return text[:at] + bytes([rng.choice(CONTROL_BYTES)]) + text[at:]


def replace_with_control(text, rng, name):
    at = rng.randrange(len(text))
    return text[:at] + bytes([rng.choice(CONTROL_BYTES)]) + text[at + 1:]


def add_column(text, rng, name):
    spans = data_lines(text)
    start, end = rng.choice(spans)
    sep = b"\t" if name.startswith("a.vcf") else b" "
    fields = text[start:end].split(sep)
    fields.insert(rng.randrange(1, len(fields) + 1), rng.choice([b"0|1", b"1|1", b"A", b"0", b"."]))
    return text[:start] + sep.join(fields) + text[end:]


def remove_column(text, rng, name):
    spans = data_lines(text)
    start, end = rng.choice(spans)
    sep = b"\t" if name.startswith("a.vcf") else b" "
    fields = [f for f in text[start:end].split(sep) if f]
    if len(fields) < 2:
        return None
    del fields[rng.randrange(len(fields))]
    return text[:start] + sep.join(fields) + text[end:]


def tab_to_space(text, rng, name):
    tabs = [i for i, c in enumerate(text) if c == 9]
    if not tabs:
        return None
    at = rng.choice(tabs)
    return text[:at] + b" " + text[at + 1:]


def cut_inside_line(text, rng, name):
    """Cut where a line is left unfinished: neither before nor after a line
    break, which would leave a whole, shorter file."""
    cuts = [i for i in range(1, len(text)) if text[i] != 10 and text[i - 1] != 10]
    return text[:rng.choice(cuts)] if cuts else None


def gz_byte(text, rng, name):
    at = rng.randrange(len(text))
    return text[:at] + bytes([text[at] ^ rng.randrange(1, 256)]) + text[at + 1:]


def gz_cut(text, rng, name):
    return text[:rng.randrange(len(text))]


TEXT_OPS = {
    "pos": field_op(lambda rng, name, k: rng.choice(BAD_POS), pos_fields),
    "number": field_op(lambda rng, name, k: rng.choice(
        BAD_PLINK_POSITIONS if (name, k) == ("a.map", 3) else BAD_NUMBERS), number_fields),
    "allele": field_op(lambda rng, name, k: rng.choice(BAD_ALLELES), allele_fields),
    "control": insert_control,
    "overwrite": replace_with_control,
    "column+": add_column,
    "column-": remove_column,
    "space": tab_to_space,
    "cut": cut_inside_line,
}
GZ_OPS = {"gzbyte": gz_byte, "gzcut": gz_cut}


def damage(rng, name, intact):
    """A damaged copy of file name: (operator, bytes); the text operators
    reach a bgzipped file through its uncompressed text."""
    gz = name.endswith(".gz")
    ops = dict(TEXT_OPS, **GZ_OPS) if gz else TEXT_OPS
    while True:
        op = rng.choice(sorted(ops))
        if op in GZ_OPS:
            out = ops[op](intact, rng, name)
        else:
            plain = gzip.decompress(intact) if gz else intact
            out = ops[op](plain, rng, name)
            out = bgzf(out) if gz and out is not None else out
        if out is not None and out != intact:
            return op, out


# ---------------------------------------------------------------------------
# Running and judging.

# A sanitizer's report ends the run with a status no refusal has.
SANITIZER_STATUS = 86
ENVIRONMENT = dict(os.environ,
                   ASAN_OPTIONS="exitcode=%d:detect_leaks=0" % SANITIZER_STATUS,
                   UBSAN_OPTIONS="exitcode=%d:print_stacktrace=1" % SANITIZER_STATUS)


def run(binary, folder, args, timeout=20):
    out = os.path.join(folder, "out")
    shutil.rmtree(out, ignore_errors=True)
    os.mkdir(out)
    try:
        p = subprocess.run([binary] + args.split(), cwd=folder, capture_output=True,
                           timeout=timeout, env=ENVIRONMENT)
    except subprocess.TimeoutExpired:
        return None, b"", {}
    written = {f: open(os.path.join(out, f), "rb").read() for f in os.listdir(out)}
    return p.returncode, p.stderr, written


def verdict(status, err, written, baseline, damaged_name, skip):
    """None when the outcome is allowed, else what is wrong."""
    if status is None:
        return "no answer within the time limit"
    if status < 0:
        return "killed by signal %d" % -status
    if status in (1, 2):
        if written:
            return "files left after a refusal: %s" % sorted(written)
        if damaged_name.encode() not in err:
            return "the message does not name %s" % damaged_name
        return None
    if status == SANITIZER_STATUS:
        return "a sanitizer report"
    if status != 0:
        return "exit status %d" % status
    control = written.get("d.in")
    if control == baseline:
        return None
    if skip and b"bad record" in written.get("d.in.dropped.tsv", b""):
        return None
    return "status 0 with a control file that differs from the intact input's"


def prepare_folder(folder, files):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("binary")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--inputs", type=int, default=2000)
    ap.add_argument("--seconds", type=float, default=600)
    ap.add_argument("--regressions", default=os.path.join(os.path.dirname(
        os.path.abspath(__file__)), "regressions", "prepare"))
    ap.add_argument("--work")
    ap.add_argument("--keep")
    a = ap.parse_args()
    binary = os.path.abspath(a.binary)
    work = a.work or tempfile.mkdtemp(prefix="mutloc-prepare-campaign-")
    folder = os.path.join(work, "run")
    plans = scenarios()

    baselines = {}
    for name, (files, args, _) in plans.items():
        prepare_folder(folder, files)
        status, err, written = run(binary, folder, args)
        if status != 0:
            sys.exit("campaign: the intact %s input is refused: %s" % (name, err.decode()))
        baselines[name] = written["d.in"]

    findings = []

    def judge(label, scenario, target, data, skip):
        files, args, _ = plans[scenario]
        prepare_folder(folder, dict(files, **{target: data}))
        status, err, written = run(binary, folder, args + (" --skip-bad-records" if skip else ""))
        problem = verdict(status, err, written, baselines[scenario], target, skip)
        if problem:
            keep = os.path.join(work, "finding-%d__%s__%s" % (len(findings) + 1, scenario, target))
            with open(keep, "wb") as f:
                f.write(data)
            findings.append("%s (%s %s): %s; input %s; stderr: %s" % (
                label, scenario, target, problem, keep, err.decode(errors="replace")[:300]))

    replayed = 0
    if os.path.isdir(a.regressions):
        for entry in sorted(os.listdir(a.regressions)):
            scenario, target, _ = entry.split("__", 2)
            with open(os.path.join(a.regressions, entry), "rb") as f:
                judge("regression " + entry, scenario, target, f.read(), False)
            replayed += 1

    rng = random.Random(a.seed)
    kept_ops = set()
    start, done = time.monotonic(), 0
    while done < a.inputs and time.monotonic() - start < a.seconds:
        scenario = rng.choice(sorted(plans))
        files, _, targets = plans[scenario]
        target = rng.choice(targets)
        op, data = damage(rng, target, files[target])
        skip = scenario != "ped" and rng.random() < 0.25
        judge("input %d, %s" % (done + 1, op), scenario, target, data, skip)
        if a.keep and (op, target) not in kept_ops:
            kept_ops.add((op, target))
            with open(os.path.join(a.keep, "%s__%s__%s" % (scenario, target, op)), "wb") as f:
                f.write(data)
        done += 1

    shutil.rmtree(folder, ignore_errors=True)
    print("prepare campaign (seed %d): %d regression inputs, %d damaged inputs in %.0f s, "
          "%d finding(s)" % (a.seed, replayed, done, time.monotonic() - start, len(findings)))
    for f in findings[:20]:
        print("  " + f)
    if findings:
        print("campaign: inputs kept in " + work, file=sys.stderr)
        sys.exit(1)
    if not a.work:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
