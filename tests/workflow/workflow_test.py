# The study workflow end to end: the example's two regions plus a garbled
# VCF, run by Snakemake with --cores 2 on this build's programs; the study
# table checked against each run's own summary, the broken row reported
# while the others complete, a fix rerunning only its analysis, the
# growth-rate recipe's jobs (dry run), and the linter.
import csv
import os
import shutil
import subprocess
import tempfile
import unittest

BIN = os.environ["MUTLOC_BIN"]
SOURCE = os.environ["MUTLOC_SOURCE"]
SNAKEMAKE = os.environ.get("SNAKEMAKE", "snakemake")
SNAKEFILE = os.path.join(SOURCE, "workflow", "Snakefile")
EXAMPLE = os.path.join(SOURCE, "workflow", "example")


def snakemake(folder, sheet, *extra):
    if not shutil.which(SNAKEMAKE):
        raise AssertionError("snakemake is not installed: run setup/install-deps")
    return subprocess.run([SNAKEMAKE, "-s", SNAKEFILE, "--directory", folder,
                           "--config", f"sheet={sheet}", f"bin={BIN}", *extra],
                          capture_output=True, text=True, timeout=240)


def read_tsv(path):
    with open(path, newline="") as f:
        return list(csv.DictReader(f, delimiter="\t"))


class Study(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="mutloc-workflow-")
        subprocess.run([os.path.join(EXAMPLE, "make-data"), os.path.join(cls.dir, "data")],
                       check=True)
        # Fewer iterations than the example's, a row whose VCF breaks off in
        # its first record, and one asking for the founder share.
        with open(os.path.join(EXAMPLE, "study.tsv")) as f:
            lines = f.read().replace("\t5000\t1000\n", "\t3000\t500\n").splitlines()
        lines += ["broken\tdata/broken.vcf\tdata/regionA.cases\t7:1000000-1300000\t\t1\t2\t3000"
                  "\t500", "shared\tdata/regionA.vcf\tdata/regionA.cases\t7:1000000-1300000\t\t1"
                  "\t2\t3000\t500"]
        extra = ["heterogeneity"] + ["no"] * (len(lines) - 2) + ["yes"]
        sheet = "".join(f"{line}\t{cell}\n" for line, cell in zip(lines, extra))
        with open(os.path.join(cls.dir, "study.tsv"), "w") as f:
            f.write(sheet)
        with open(os.path.join(cls.dir, "data", "regionA.vcf")) as f:
            cls.good_vcf = f.read()
        with open(os.path.join(cls.dir, "data", "broken.vcf"), "w") as f:
            f.write(cls.good_vcf[: cls.good_vcf.index("\n7\t") + 40])
        cls.outcome = snakemake(cls.dir, "study.tsv", "--cores", "2")
        cls.results = os.path.join(cls.dir, "results")
        # What the run wrote, before a test adds files and reruns the study.
        cls.rows = {r["name"]: r for r in read_tsv(os.path.join(cls.results, "study.tsv"))}
        with open(os.path.join(cls.results, "index.html")) as f:
            cls.page = f.read()

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir)

    def test_table_holds_each_runs_summary(self):
        self.assertEqual(self.outcome.returncode, 0, self.outcome.stderr)
        rows = self.rows
        self.assertEqual(list(rows), ["regionA", "regionB", "broken", "shared"])
        for name in ("regionA", "regionB"):
            row, prefix = rows[name], os.path.join(self.results, name, f"{name}.in")
            pooled = {r["parameter"]: r for r in read_tsv(prefix + ".summary.tsv")
                      if r["chain"] == "all"}
            location, age = pooled["location"], pooled["age"]
            for key, column in (("median", "median"), ("low", "hpd_low"), ("high", "hpd_high")):
                self.assertAlmostEqual(float(row[f"location_{key}_M"]), float(location[column]),
                                       delta=1e-5 * float(location[column]))
                self.assertAlmostEqual(float(row[f"location_{key}_cM"]),
                                       100 * float(location[column]),
                                       delta=1e-3 * float(location[column]))
                self.assertAlmostEqual(float(row[f"age_{key}"]), float(age[column]),
                                       delta=1e-5 * float(age[column]))
            rhat = max(float(location["rhat"]), float(age["rhat"]))
            ess = min(float(r[k]) for r in (location, age) for k in ("ess_bulk", "ess_tail"))
            self.assertAlmostEqual(float(row["worst_rhat"]), rhat, places=3)
            self.assertAlmostEqual(float(row["smallest_ess"]), ess, delta=1)
            agree = rhat < 1.01 and ess >= 400
            self.assertEqual(row["chains_agree"], "yes" if agree else "no")
            self.assertEqual(row["status"], "ok" if agree else "failed")
            self.assertEqual(row["growth_rate"], "0.08")  # mutloc-prepare's default
            # No founder share without heterogeneity; the flanking markers and the
            # base pairs come from the marker list mutloc-prepare wrote.
            self.assertEqual(row["founder_share_median"], "")
            bp = {m["id"]: int(m["pos"]) for m in read_tsv(prefix + ".markers.tsv")}
            self.assertTrue(bp[row["marker_below"]] <= int(row["location_low_bp"])
                            <= int(row["location_high_bp"]) <= bp[row["marker_above"]], row)
            self.assertTrue(os.path.exists(os.path.join(self.results, row["report"])))

    def test_broken_row_is_reported_and_rerun_alone_once_fixed(self):
        self.assertEqual(self.outcome.returncode, 0, self.outcome.stderr)
        broken = self.rows["broken"]
        self.assertEqual(broken["status"], "failed")
        self.assertTrue(broken["reason"].startswith("prepare: mutloc-prepare: "), broken["reason"])
        self.assertIn("broken.vcf", broken["reason"])
        with open(os.path.join(self.results, "broken", "logs", "prepare.log")) as f:
            self.assertIn("broken.vcf", f.read())
        self.assertIn("4 analyses", self.page)
        self.assertIn('href="regionB/regionB.in.report.html"', self.page)
        self.assertEqual(self.page.count("<svg"), 2)  # chromosomes 7 and 12

        with open(os.path.join(self.dir, "data", "broken.vcf"), "w") as f:
            f.write(self.good_vcf)
        # With other --cores than the run had: threads are not a setting.
        plan = snakemake(self.dir, "study.tsv", "-n", "--quiet", "rules", "--cores", "1")
        self.assertEqual(plan.returncode, 0, plan.stderr)
        for rule in ("prepare", "mutloc", "report", "study"):
            self.assertRegex(plan.stdout, rf"\n{rule}\s+1\s")

    def test_heterogeneity_reaches_mutloc(self):
        # The option may not exist in this build: then the row fails in
        # mutloc, naming it, and only that row.
        with open(os.path.join(self.results, "shared", "logs", "mutloc.log")) as f:
            self.assertIn(" --heterogeneity ", f.readline())
        shared = self.rows["shared"]
        self.assertTrue(shared["status"] == "ok" or shared["reason"].startswith("mutloc:"),
                        shared["reason"])
        self.assertEqual(self.rows["regionA"]["heterogeneity"] + shared["heterogeneity"], "noyes")

    def test_founder_share_and_markers_appear_when_their_files_do(self):
        self.assertEqual(self.outcome.returncode, 0, self.outcome.stderr)
        prefix = os.path.join(self.results, "regionA", "regionA.in")
        shutil.copy(prefix + ".summary.tsv", prefix + ".summary.saved")
        shutil.copy(prefix + ".markers.tsv", prefix + ".markers.saved")
        with open(prefix + ".summary.tsv", "a") as f:
            f.write("founder_share\tall\t100\t0.8\t0.1\t0.75\t0.95\t0.6\t0.9\t1.001\t900\t800"
                    "\tNA\tNA\n")
        with open(prefix, "r") as f:
            lines = f.read().splitlines()
        positions = [float(x) for x in lines[lines.index(next(
            l for l in lines if l.startswith("Map distance"))) + 1].split()]
        with open(prefix + ".markers.tsv", "w") as f:
            f.write("number\tid\tchrom\tpos\tmorgans\n")
            f.writelines(f"{k + 1}\trs{k + 1}\t7\t{1000000 + 20000 * k}\t{m}\n"
                         for k, m in enumerate(positions))
        try:
            rerun = snakemake(self.dir, "study.tsv", "--cores", "2", "--forcerun", "study")
            self.assertEqual(rerun.returncode, 0, rerun.stderr)
            row = next(r for r in read_tsv(os.path.join(self.results, "study.tsv"))
                       if r["name"] == "regionA")
        finally:
            os.replace(prefix + ".summary.saved", prefix + ".summary.tsv")
            os.replace(prefix + ".markers.saved", prefix + ".markers.tsv")
        self.assertEqual(row["founder_share_median"], "0.75")
        below, above = (int(row[k][2:]) for k in ("marker_below", "marker_above"))
        low, high = int(row["location_low_bp"]), int(row["location_high_bp"])
        position = lambda marker: 1000000 + 20000 * (marker - 1)
        self.assertTrue(position(below) <= low < high <= position(above))
        # The map is linear (1 cM per Mb), so base pairs follow from Morgans.
        self.assertAlmostEqual(low, 1000000 + float(row["location_low_M"]) * 1e8, delta=2)


class Recipes(unittest.TestCase):
    def test_growth_rate_series_lists_one_analysis_per_rate(self):
        with tempfile.TemporaryDirectory() as folder:
            plan = snakemake(folder, os.path.join(EXAMPLE, "sensitivity.tsv"), "-n")
            self.assertEqual(plan.returncode, 0, plan.stderr)
            for rule, count in (("prepare", 3), ("mutloc", 3), ("report", 3), ("study", 1)):
                self.assertRegex(plan.stdout, rf"\n{rule}\s+{count}\s")
            for rate in ("0.02", "0.08", "0.5"):
                self.assertIn(f"results/regionA_gr{rate}/prepare.status", plan.stdout)

    def test_slurm_profile_asks_for_a_thread_per_chain(self):
        with tempfile.TemporaryDirectory() as folder:
            plan = snakemake(folder, os.path.join(EXAMPLE, "study.tsv"), "-n", "--profile",
                             os.path.join(SOURCE, "workflow", "profiles", "slurm"))
            self.assertEqual(plan.returncode, 0, plan.stderr)
            self.assertRegex(plan.stdout, r"\nmutloc\s+2\s+4\s+4\s")

    def test_sheet_errors_stop_the_study_with_the_line(self):
        with tempfile.TemporaryDirectory() as folder:
            with open(os.path.join(folder, "s.tsv"), "w") as f:
                f.write("name\tvcf\tcases\tregion\tgrowth\nA\ta.vcf\tc\t7:1-2\t0.1\n")
            plan = snakemake(folder, "s.tsv", "-n")
            self.assertNotEqual(plan.returncode, 0)
            self.assertIn("s.tsv line 1: unknown column(s) growth", plan.stdout + plan.stderr)

    def test_lint(self):
        with tempfile.TemporaryDirectory() as folder:
            lint = snakemake(folder, os.path.join(EXAMPLE, "study.tsv"), "--lint")
        self.assertEqual(lint.returncode, 0, lint.stdout + lint.stderr)


if __name__ == "__main__":
    unittest.main()
