# One step of an analysis (mutloc-prepare, mutloc or mutloc-report): the
# script of the Snakefile's prepare, mutloc and report rules. The step
# records "ok", or "failed" and the reason, in its .status file, and its
# Snakemake job succeeds either way: the other analyses of the study go on
# without --keep-going, and a failure travels down the analysis's later steps
# to the study table. The command is params.command, where {threads} stands
# for the job's threads; an input .status file is the step before.
import os
import shlex
import subprocess


def step(status, log, upstream, command):
    """Runs command (a list) with its output in log, unless the step before
    failed, whose status is then passed on."""
    name = os.path.basename(status)[: -len(".status")]
    os.makedirs(os.path.dirname(log), exist_ok=True)
    if upstream:
        with open(upstream) as f:
            before = f.read()
        if not before.startswith("ok\t"):
            with open(log, "w") as f:
                f.write("not run: an earlier step failed\n")
            with open(status, "w") as f:
                f.write(before)
            return
    with open(log, "w") as f:
        f.write("$ " + shlex.join(command) + "\n")
        f.flush()
        try:
            code = subprocess.run(command, stdout=f, stderr=subprocess.STDOUT).returncode
        except OSError as e:
            f.write(f"cannot start {command[0]}: {e.strerror} (put the programs on the PATH, "
                    "or give their folder as bin=DIR)\n")
            code = 127
    if code == 0:
        state = "ok\t"
    else:
        # The programs name the problem in a line that starts with their
        # name (a usage hint may follow it); otherwise the last line does.
        with open(log, errors="replace") as f:
            lines = [line.strip() for line in f.readlines()[1:] if line.strip()]
        own = [line for line in lines if line.startswith(os.path.basename(command[0]) + ":")]
        last = (own or lines or ["no message"])[-1].replace("\t", " ")
        state = f"failed\t{name}: {last} (exit status {code}; log {log})"
    with open(status, "w") as f:
        f.write(state + "\n")


step(snakemake.output[0], snakemake.log[0],
     next((f for f in snakemake.input if f.endswith(".status")), None),
     [arg.replace("{threads}", str(snakemake.threads)) for arg in snakemake.params.command])
