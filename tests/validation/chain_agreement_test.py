"""validation/chain-agreement.py on run folders holding hand-written
summaries: a run agrees only when both the location's and the age's pooled
R-hat lie below 1.01 (per-chain rows and the log-likelihood do not count),
and a folder without summaries is refused."""
import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.environ.get("MUTLOC_SOURCE", "."), "validation", "chain-agreement.py")
HEADER = "parameter\tchain\tdraws\tmean\tsd\tmedian\thpd_level\thpd_low\thpd_high\trhat\tess_bulk\tess_tail\n"


def summary(folder, run, rows):
    os.makedirs(os.path.join(folder, run))
    with open(os.path.join(folder, run, "data.in.summary.tsv"), "w") as f:
        f.write(HEADER)
        for parameter, chain, rhat in rows:
            f.write("%s\t%s\t100\t0\t1\t0\t0.95\t0\t1\t%s\t500\t500\n" % (parameter, chain, rhat))


class ChainAgreement(unittest.TestCase):
    def run_script(self, folder):
        return subprocess.run([sys.executable, SCRIPT, folder], capture_output=True, text=True)

    def test_counts_runs_whose_location_and_age_agree(self):
        with tempfile.TemporaryDirectory() as d:
            summary(d, "ds0", [("location", "all", "1.005"), ("age", "all", "1.009"),
                               ("log_likelihood", "all", "1.3"), ("location", "1", "1.2")])
            summary(d, "ds1", [("location", "all", "1.005"), ("age", "all", "1.01")])
            summary(d, "ds2", [("location", "all", "1.001")])
            out = self.run_script(d)
            self.assertEqual(out.returncode, 0, out.stderr)
            self.assertIn("agree (R-hat below 1.01 for location and age): 1 of 3", out.stdout)
            self.assertIn("ds2\t1.001", out.stdout)

    def test_refuses_a_folder_without_summaries(self):
        with tempfile.TemporaryDirectory() as d:
            out = self.run_script(d)
            self.assertNotEqual(out.returncode, 0)
            self.assertIn("no *.summary.tsv", out.stderr)


if __name__ == "__main__":
    unittest.main()
