#!/usr/bin/env python3
"""Cross-site requests in a real browser.

Headless Chromium uses corvex as its proxy. A page served from a foreign
origin on loopback (python's http.server; Chromium reaches loopback without
the proxy) tries an image, a form POST and a fetch() against each command
that changes data or the program: corvex must refuse every one (its trace
names the page that tried) and nothing may change. The page also asks
with images that withhold their referrer: those requests name no page and
must not be carried out either. The same commands from
one of our own pages are carried out.

Skips (exit code 77) with a message when chromium, chromedriver or
python3-selenium is missing. Environment: CORVANE_BIN_DIR (the build's
programs), CORVANE_SOURCE_DIR (the source tree).
"""

import http.server
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

SKIP = 77

VIEW = "http://Corvane.AsLedraClient/Local:/samples/discuss.ldf:/V/All%20Documents/"
KV = "http://Corvane.AsLedraClient/Local:/samples/discuss.ldf:/"
WC = "http://Corvane.Command/"

# Each command with the place where a marker segment goes, so that the
# trace tells the image, the form and the fetch apart. Document pages ("E",
# "C") only read when asked with GET: their POST is the submission.
POST_ONLY = ("E/1/", "C/1/")
FOREIGN_COMMANDS = [
    VIEW + "D/{m}/",
    VIEW + "DX/{m}/",
    VIEW + "DE/{m}/",
    VIEW + "C/{m}/",
    VIEW + "vX/{m}/",
    VIEW + "vC/{m}/",
    VIEW + "vP/{m}/",
    VIEW + "XL/{m}/",
    VIEW + "FS/{m}/",
    KV + "?/Compact/{m}",
    KV + "?/FullText/{m}",
    KV + "?/Delete/{m}",
    KV + "A/1/ap/0/{m}/",
    KV + "A/1/dp/0/{m}/",
    KV + "E/1/{m}/",
    KV + "C/1/{m}/",
    WC + "1/{m}",
    WC + "N/{m}",
    WC + "M/?{m}",
    WC + "7/?{m}",
    WC + "S/?{m}",
    WC + "F/?{m}",
    WC + "A/{m}",
    WC + "B/{m}",
]
# From our own pages: commands whose effect is safe to carry out here.
OWN_COMMANDS = [VIEW + "D/{m}/", WC + "M/?{m}", WC + "N/{m}", KV + "E/1/{m}/"]


def skip(message):
    print("SKIP: " + message)
    sys.exit(SKIP)


def attack_script(commands):
    """JavaScript that requests every command three ways."""
    lines = ["(function(){"]
    for n, command in enumerate(commands):
        img = command.format(m="img%d" % n)
        form = command.format(m="form%d" % n)
        fetch = command.format(m="fetch%d" % n)
        hidden = command.format(m="hidden%d" % n)
        lines.append(
            "var i=new Image();i.src=%r;document.body.appendChild(i);" % img)
        lines.append(
            "var h=new Image();h.referrerPolicy='no-referrer';h.src=%r;"
            "document.body.appendChild(h);" % hidden)
        lines.append(
            "var f=document.createElement('iframe');f.name='t%d';f.style.display='none';"
            "document.body.appendChild(f);"
            "var p=document.createElement('form');p.method='POST';p.action=%r;p.target='t%d';"
            "var x=document.createElement('input');x.name='a';x.value='1';p.appendChild(x);"
            "document.body.appendChild(p);p.submit();" % (n, form, n))
        lines.append("fetch(%r,{mode:'no-cors',credentials:'include'}).catch(function(){});"
                     % fetch)
    lines.append("})();")
    return "\n".join(lines)


class ForeignPage(http.server.BaseHTTPRequestHandler):
    script = ""

    def do_GET(self):
        body = ("<html><head><title>elsewhere</title></head><body><p>A page elsewhere.</p>"
                "<script>%s</script></body></html>" % ForeignPage.script).encode()
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def corvex_get(port, url):
    """A request straight to corvex, as a browser's proxy request."""
    proxy = urllib.request.ProxyHandler({"http": "http://127.0.0.1:%d" % port})
    opener = urllib.request.build_opener(proxy)
    try:
        with opener.open(url, timeout=30) as reply:
            return reply.read().decode("latin-1")
    except urllib.error.HTTPError as error:
        return error.read().decode("latin-1")


def refused_lines(trace_path):
    with open(trace_path, encoding="latin-1") as trace:
        return [line for line in trace if "Refused, from a foreign page" in line]


def unnamed_lines(trace_path):
    with open(trace_path, encoding="latin-1") as trace:
        return [line for line in trace if "Not carried out, no page named" in line]


def wait_for(condition, seconds):
    until = time.time() + seconds
    while time.time() < until:
        if condition():
            return True
        time.sleep(0.2)
    return condition()


def marker_seen(lines, method, marker):
    # The request line as corvex read it: a database path may hold blanks.
    pattern = re.compile(r": %s http://[^\r\n]*?%s\b" % (method, re.escape(marker)))
    return any(pattern.search(line) for line in lines)


def main():
    browser = shutil.which("chromium") or shutil.which("chromium-browser")
    driver_path = shutil.which("chromedriver")
    if not browser or not driver_path:
        skip("chromium and chromium-driver are not installed (scripts/deps installs them)")
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
    except ImportError:
        skip("python3-selenium is not installed (scripts/deps installs it)")

    bin_dir = os.environ.get("CORVANE_BIN_DIR")
    source_dir = os.environ.get("CORVANE_SOURCE_DIR")
    if not bin_dir or not source_dir:
        print("CORVANE_BIN_DIR and CORVANE_SOURCE_DIR must name the build and the sources")
        return 1
    work = tempfile.mkdtemp(prefix="corvane-cross-site-")
    corvex = None
    driver = None
    server = None
    failures = []
    try:
        prog = os.path.join(work, "prog")
        env = dict(os.environ, CORVANE_BIN_DIR=bin_dir)
        subprocess.run([os.path.join(source_dir, "scripts/install"), prog], env=env, check=True,
                       stdout=subprocess.DEVNULL)
        trace_path = os.path.join(work, "corvex.err")
        env = dict(os.environ, CORVANE_LOCALPORT="0", CORVANE_TRACE="1",
                   CORVANE_REGISTRY=os.path.join(work, "registry"))
        with open(trace_path, "w") as trace:
            corvex = subprocess.Popen(["./corvex"], cwd=prog, env=env, stdout=subprocess.PIPE,
                                      stderr=trace, stdin=subprocess.DEVNULL, text=True)
        line = corvex.stdout.readline()
        match = re.match(r"corvex listening on 127\.0\.0\.1 port (\d+)", line)
        if not match:
            print("corvex did not start: %r" % line)
            return 1
        port = int(match.group(1))

        # The first row is the current line, so "D" has a document to mark.
        corvex_get(port, VIEW + "SC/0/1/")
        page = corvex_get(port, VIEW + "R/")
        if "<B><A TARGET" not in page or "delmk.gif" in page:
            print("unexpected view page before the test:\n" + page[:2000])
            return 1

        ForeignPage.script = attack_script(FOREIGN_COMMANDS)
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), ForeignPage)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        foreign = "http://127.0.0.1:%d/attack.html" % server.server_address[1]

        options = webdriver.ChromeOptions()
        options.binary_location = browser
        for flag in ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                     "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync",
                     "--user-data-dir=" + os.path.join(work, "chromium"),
                     "--proxy-server=http://127.0.0.1:%d" % port]:
            options.add_argument(flag)
        driver = webdriver.Chrome(service=Service(driver_path), options=options)
        driver.set_page_load_timeout(30)

        # From a foreign page: every attempt refused, naming the page.
        driver.get(foreign)
        expected = []
        for n, command in enumerate(FOREIGN_COMMANDS):
            post_only = any(("/" + end) in command for end in POST_ONLY)
            for method, marker in [("GET", "img"), ("POST", "form"), ("GET", "fetch")]:
                if method == "POST" or not post_only:
                    expected.append((method, "%s%d" % (marker, n), command))
        origin = "http://127.0.0.1:%d" % server.server_address[1]

        def all_refused():
            lines = refused_lines(trace_path)
            return all(marker_seen(lines, method, marker) for method, marker, _ in expected)

        wait_for(all_refused, 30)
        lines = refused_lines(trace_path)
        for method, marker, command in expected:
            if not marker_seen(lines, method, marker):
                failures.append("not refused: %s %s" % (method, command.format(m=marker)))
        def all_held():
            held = unnamed_lines(trace_path)
            return all(marker_seen(held, "GET", "hidden%d" % n)
                       for n, command in enumerate(FOREIGN_COMMANDS)
                       if not any(("/" + end) in command for end in POST_ONLY))

        wait_for(all_held, 30)
        held = unnamed_lines(trace_path)
        for n, command in enumerate(FOREIGN_COMMANDS):
            if any(("/" + end) in command for end in POST_ONLY):
                continue
            if not marker_seen(held, "GET", "hidden%d" % n):
                failures.append("carried out without a page named: GET %s"
                                % command.format(m="hidden%d" % n))
        if any(origin not in line for line in lines):
            failures.append("a refusal does not name the foreign page:\n" + "".join(lines))
        if "delmk.gif" in corvex_get(port, VIEW + "R/"):
            failures.append("a foreign page marked a document for deletion")
        refused_before = len(lines)

        # From our own page: the same requests are carried out.
        driver.get(VIEW + "R/")
        driver.execute_script(attack_script(OWN_COMMANDS))
        status = driver.execute_async_script(
            "var done=arguments[0];fetch(%r).then(function(r){done(r.status)})"
            ".catch(function(e){done(String(e))});" % (VIEW + "R/"))
        if status != 200:
            failures.append("a view page fetched from our own page gave %r" % status)

        def marked():
            return "delmk.gif" in corvex_get(port, VIEW + "R/")

        if not wait_for(marked, 20):
            failures.append("our own page could not mark a document for deletion")
        time.sleep(1)
        lines = refused_lines(trace_path)
        if len(lines) != refused_before:
            failures.append("requests from our own page were refused:\n" +
                            "".join(lines[refused_before:]))
    finally:
        if driver is not None:
            driver.quit()
        if server is not None:
            server.shutdown()
        if corvex is not None:
            corvex.terminate()
            try:
                corvex.wait(timeout=20)
            except subprocess.TimeoutExpired:
                corvex.kill()
                corvex.wait()
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("FAILED:\n" + "\n".join(failures))
        return 1
    print("cross-site requests: %d foreign attempts refused, our own pages served"
          % len(expected))
    return 0


if __name__ == "__main__":
    sys.exit(main())
