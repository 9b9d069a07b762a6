"""The --json output read back with a real JSON parser: every field there,
the numbers those of the report, values that are not finite as strings.

    json_test.py INEQBF_EXE SOURCE_DIR
"""
import json
import math
import os
import shutil
import subprocess
import sys
import tempfile

exe, source = sys.argv[1], sys.argv[2]
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)


def run_json(folder, *args):
    with tempfile.TemporaryDirectory() as tmp:
        work = os.path.join(tmp, "case")
        shutil.copytree(os.path.join(source, folder), work)
        out = subprocess.run([exe, "--json", "-", *args, work], capture_output=True)
        report = ""
        if os.path.exists(os.path.join(work, "Output.txt")):
            with open(os.path.join(work, "Output.txt"), encoding="ascii") as f:
                report = f.read()
        return out.returncode, json.loads(out.stdout.decode("utf-8")), report


def number(x):
    return {"Infinity": math.inf, "-Infinity": -math.inf, "NaN": math.nan}.get(x, x)


# The two-parameter example: the numbers of the report, at full precision.
status, doc, report = run_json("examples/two-parameters")
check(status == 0, "status 0")
check(doc["program"] == "ineqbf" and doc["seed"] == 12345 and doc["version"], "header")
p = doc["problems"][0]
check(p["status"] == 0 and p["message"] is None, "problem status")
check(p["parameters"] == ["theta1", "theta2"], "default names")
h = p["hypotheses"][0]
check(h["hypothesis"] == "theta1 - theta2 > 0 & theta2 > 0", "hypothesis text")
check([c["text"] for c in h["constraints"]] == ["theta1 - theta2 > 0", "theta2 > 0"], "row texts")
lines = report.split("\n")
fits = [float(line.split()[0]) for line in lines[3:5]]
check([round(c["fit"], 3) for c in h["constraints"]] == fits, "fits as in the report")
check([c["fit_iterations"] for c in h["constraints"]] == [int(line.split()[1]) for line in lines[3:5]],
      "iterations as in the report")
check(all(c["fit_hits"] == round(c["fit"] * c["fit_iterations"]) for c in h["constraints"]), "hits")
bf = h["bf_ia"]
check(f'{bf["value"]:8.3f}' == lines[14][:8], "BFia as in the report")
check(abs(bf["log10"] - math.log10(bf["value"])) < 1e-6, "log10")
check(bf["percentile_2_5"] <= bf["value"] <= bf["percentile_97_5"], "interval")
check(h["bf_ic_reported_infinite"] is False, "BFic finite")
check(h["seed"] == 12345 and h["method"] == "gibbs", "the result's seed and method")
check(not any(k.endswith("replicates") or k in ("console", "report") for k in h)
      and not any(k.endswith("replicates") for c in h["constraints"] for k in c),
      "no replicates, console or report bytes in the JSON")

# Every fit 1: BFic is reported "infinit"; its value is not finite.
status, doc, report = run_json("tests/e2e/cases/every-fit-one")
h = doc["problems"][0]["hypotheses"][0]
check(h["bf_ic_reported_infinite"] is True and "infinit" in report, "infinit flag")
check(not math.isfinite(number(h["bf_ic"]["value"])), "non-finite value written as a string")

# Several hypotheses: the comparison.
status, doc, report = run_json("examples/order4", "--hypothesis",
                               "theta1 > theta2 > theta3 > theta4; theta4 > theta1")
p = doc["problems"][0]
check(len(p["hypotheses"]) == 2 and len(p["reports"]) == 2, "two hypotheses, two reports")
c = p["comparison"]
check(len(c["bayes_factors"]) == 2 and c["bayes_factors"][0][0]["value"] == 1, "BF matrix")
check(abs(sum(e["value"] for e in c["posterior"]) - 1) < 1e-6, "PMPs add up to 1")
check(len(c["posterior_with_unconstrained"]) == 3, "with Hu")

# Prior model probabilities: w_h * BFia_h over their sum, the unconstrained
# hypothesis last; the equal-odds PMPs are the same without the weights.
two = "theta1 > theta2; theta2 > 0"
_, equal, _ = run_json("examples/two-parameters", "--hypothesis", two)
_, weighted, _ = run_json("examples/two-parameters", "--hypothesis", two, "--prior", "1,3,2")
bfs = [h["bf_ia"]["value"] for h in weighted["problems"][0]["hypotheses"]]
w = [1 * bfs[0], 3 * bfs[1], 2 * 1.0]
pmp = weighted["problems"][0]["comparison"]["posterior_with_unconstrained"]
check(all(abs(pmp[i]["value"] - w[i] / sum(w)) < 1e-5 for i in range(3)), "PMPs weighed by the prior")
check(abs(equal["problems"][0]["comparison"]["posterior"][0]["value"] - bfs[0] / sum(bfs)) < 1e-5,
      "equal prior odds")

# A run that stops: its status and message.
status, doc, report = run_json("tests/e2e/cases/singular-covariance")
p = doc["problems"][0]
check(status == 2 and p["status"] == 2 and "FATAL ERROR 2 from LINRG" in p["message"], "error")

# A path that is not UTF-8: the JSON text stays UTF-8, U+FFFD for the byte.
with tempfile.TemporaryDirectory() as tmp:
    work = os.path.join(os.fsencode(tmp), b"case\xff")
    os.makedirs(work)
    shutil.copy(os.fsencode(os.path.join(source, "examples/two-parameters/Input.txt")), work)
    out = subprocess.run([exe, "--json", "-", work], capture_output=True)
    try:
        doc = json.loads(out.stdout.decode("utf-8"))
        check(doc["problems"][0]["input"].endswith("case\ufffd"), "U+FFFD for a byte that is not UTF-8")
    except (UnicodeDecodeError, ValueError) as e:
        check(False, f"JSON of a path that is not UTF-8: {e}")

if failures:
    print("failed:", *failures, sep="\n  ")
    sys.exit(1)
print("JSON read back: all checks passed")
