"""The page in a real browser: web/dist served from 127.0.0.1 by a server
this test starts and stops, headless Chromium driven over the DevTools
protocol. Two golden cases through the address (#input=…&method=gibbs), one
through the form (estimates and covariance pasted, the hypothesis typed),
two hypotheses through the form, one bad input, and a long run cancelled. Prints one line per
check and 'N passed, N failed'; exit status 0 when all pass.
  python3 web/test/browser.py [--dist web/dist] [--screenshot FILE.png]"""
import argparse
import base64
import functools
import http.server
import json
import os
import sys
import threading
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from cdp import Browser  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))


def read(case, name, default=b""):
    path = os.path.join(ROOT, case, name)
    return open(path, "rb").read() if os.path.exists(path) else default


def serve(dist):
    class Quiet(http.server.SimpleHTTPRequestHandler):
        extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                          ".wasm": "application/wasm", ".js": "text/javascript"}

        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Quiet, directory=dist))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def finished(b, seconds=120):
    b.wait("document.querySelector('#report[data-status]')", seconds)
    return {
        "status": int(b.evaluate("document.getElementById('report').dataset.status")),
        "report": b.evaluate("document.getElementById('report').textContent"),
        "message": b.evaluate("document.getElementById('problem').hidden ? null : "
                              "document.getElementById('message').textContent"),
        "warnings": b.evaluate("[...document.querySelectorAll('#warnings li')].map(li => li.textContent)"),
    }


def report_numbers(report, label):
    """The four numbers on the line after the heading line of BFia or BFic."""
    lines = report.split("\r\n")
    at = next(i for i, line in enumerate(lines) if line.split()[:1] == [label])
    return lines[at + 1].split()


def table_values(b, row_id):
    """The full values of a row of the table, rounded as the report rounds them."""
    cells = b.evaluate(f"[...document.querySelectorAll('#{row_id} td')].map(td => td.dataset.value)")
    return [f"{float(v):.3f}" for v in cells]


def check_golden(b, case, got):
    expected = read(case, "Output.txt").decode()
    assert got["status"] == int(read(case, "status", b"0")), f"status {got['status']}"
    assert got["report"] == expected, "the report differs from the expected Output.txt"
    assert got["message"] is None, f"a message shows: {got['message']}"
    assert table_values(b, "bfia-1") == report_numbers(expected, "BFia"), "the table's BFia row differs"
    assert b.evaluate("document.querySelectorAll('#plots svg').length") == 2, "two plots expected"


def address(base, case, n):
    text = base64.urlsafe_b64encode(read(case, "Input.txt")).decode().rstrip("=")
    return f"{base}?run={n}#input={text}&method=gibbs"


def by_address(b, base, case, n):
    b.open(address(base, case, n))
    check_golden(b, case, finished(b))


def fill(b, values):
    b.evaluate("(() => {" + "".join(
        f"const e{i} = document.getElementById({json.dumps(k)}); e{i}.value = {json.dumps(v)};"
        f"e{i}.dispatchEvent(new Event('input', {{bubbles: true}}));" for i, (k, v) in enumerate(values.items()))
        + "})()")


def form_estimates(b, base, hypotheses):
    b.open(f"{base}?form=1")
    b.evaluate("document.querySelector('input[name=mode][value=estimates]').click()")
    fill(b, {"estimates": "0.92\t0.61\t0.48\t0.10",
             "covariance": "0.0400\t0.0100\t0.0080\t0.0050\n0.0100\t0.0360\t0.0090\t0.0060\n"
                           "0.0080\t0.0090\t0.0450\t0.0070\n0.0050\t0.0060\t0.0070\t0.0380\n",
             "names": "a, b, c, d", "hypotheses": hypotheses, "method": "gibbs"})
    b.evaluate("document.getElementById('run').click()")
    return finished(b)


def through_form(b, base):
    # The rows of examples/order4 as a hypothesis: its report, byte for byte.
    check_golden(b, "examples/order4", form_estimates(b, base, "a > b > c > d"))


def two_hypotheses(b, base):
    got = form_estimates(b, base, "a > b > c > d; a > b")
    assert got["status"] == 0, f"status {got['status']}"
    pmp = [float(b.evaluate(f"document.querySelector('#pmp-{i} td').dataset.value")) for i in (1, 2)]
    assert abs(sum(pmp) - 1) < 1e-5, f"posterior probabilities {pmp}"
    assert b.evaluate("!!document.getElementById('report-2')"), "no second report"
    assert b.evaluate("document.querySelectorAll('#plots svg').length") == 1, "one plot expected"


def bad_input(b, base):
    case = "tests/e2e/cases/bad-letter-in-means"
    b.open(address(base, case, 9))
    got = finished(b)
    assert got["status"] == 1, f"status {got['status']}"
    assert got["message"] == read(case, "console.txt").decode().rstrip("\r\n"), f"message {got['message']!r}"
    assert any("line 4, column 6" in w for w in got["warnings"]), f"warnings {got['warnings']}"


def cancel_long_run(b, base):
    # A long run shows its progress and ends at once when cancelled.
    b.open(address(base, "bench/inputs/deep", 10))
    b.wait("document.getElementById('progress-text').textContent.includes('constraint')", 60)
    b.evaluate("document.getElementById('cancel').click()")
    b.wait("document.getElementById('progress-text').textContent === 'Cancelled.'", 5)
    assert b.evaluate("!document.getElementById('run').disabled"), "Analyse stays disabled"
    assert not b.evaluate("document.querySelector('#report[data-status]')"), "a report shows"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dist", default=os.path.join(ROOT, "web", "dist"))
    parser.add_argument("--screenshot", default=None)
    args = parser.parse_args()
    server = serve(args.dist)
    base = f"http://127.0.0.1:{server.server_address[1]}/index.html"
    browser = Browser()
    checks = [
        ("address: examples/order4", lambda: by_address(browser, base, "examples/order4", 1)),
        ("address: examples/small-fit", lambda: by_address(browser, base, "examples/small-fit", 2)),
        ("form: estimates, covariance and a hypothesis", lambda: through_form(browser, base)),
        ("form: two hypotheses", lambda: two_hypotheses(browser, base)),
        ("address: a bad input", lambda: bad_input(browser, base)),
        ("progress and cancel", lambda: cancel_long_run(browser, base)),
    ]
    passed = failed = 0
    try:
        for name, check in checks:
            try:
                check()
                passed += 1
                print(f"ok   {name}")
            except Exception:  # noqa: BLE001 - every failure is reported and counted
                failed += 1
                print(f"FAIL {name}\n{traceback.format_exc()}")
            if name.startswith("form: estimates") and args.screenshot:
                browser.screenshot(args.screenshot)
    finally:
        browser.close()
        server.shutdown()
    print(f"browser: {passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
