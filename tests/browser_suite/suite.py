"""The real-browser suite: headless Chromium, with corvex as its proxy, goes
through the product as a user does, one step per page kind.

Every page visited (with all its frames) is checked: each link, frame, form
and image URL must be one Chromium accepts, and corvex's own URLs must come
out of Chromium's parser unchanged (what it sends is what corvex wrote);
every image must load (naturalWidth > 0); the console must hold no error
about an invalid URL or a resource that failed. Each step saves a
screenshot under OUT. A step of a page kind that is not built yet records
what the browser got ("not built") instead of failing; when that page kind
lands, its step is written out in full. A step that passes but meets a part
the product lacks names that part in suite.not_built (printed, and kept in
report.json), so the rest of the step still counts.

Only Chromium runs: Debian has no geckodriver package for Firefox.

To add a page kind: write a function that takes the Suite, opens the page
(suite.open / suite.click), calls suite.check("name") and returns "passed"
or "not built", and decorate it with @step("title"). Steps run in order.
"""

import argparse
import collections
import json
import os
import re
import shutil
import signal
import socket
import sys
import tempfile
import time
import urllib.error
import urllib.parse
import urllib.request

from selenium import webdriver
from selenium.common.exceptions import WebDriverException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

START = "http://corvane.asledraclient/"
OWN_HOSTS = ("corvane.asledraclient", "corvane.command", "corvane.verbatim",
             "corvane.programfolder", "corvane.storedpage", "corvane.storedform")
CHROMIUM_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                  "--no-first-run", "--disable-background-networking",
                  "--disable-component-update", "--disable-sync", "--window-size=1280,860",
                  "--disable-dev-shm-usage"]

SERVICE_HOSTS = ["*.google.com", "*.googleapis.com", "*.gstatic.com", "*.duckduckgo.com"]

COLLECT = """
const own = (u) => { try { return new URL(u).hostname.endsWith('corvane.asledraclient') ||
    new URL(u).hostname.startsWith('corvane.') || new URL(u).hostname.includes('.corvane.'); }
  catch (e) { return false; } };
const judge = (raw) => {
  if (raw === null) return 'ok';
  let parsed;
  try { parsed = new URL(raw, document.baseURI); } catch (e) { return 'invalid'; }
  if (/^[a-z]+:/i.test(raw) && own(parsed.href) && parsed.href !== raw) return 'changed';
  if (/^(file|\\[)/i.test(raw) || /^http:\\/\\/\\[/i.test(raw)) return 'classic';
  return 'ok';
};
const out = {url: location.href, title: document.title, ready: document.readyState,
             links: [], images: [], frames: [], forms: []};
for (const a of document.querySelectorAll('a[href],area[href]'))
  out.links.push({raw: a.getAttribute('href'), href: a.href, verdict: judge(a.getAttribute('href')),
                  text: (a.textContent || a.getAttribute('alt') || '').trim().slice(0, 50)});
for (const img of document.images)
  out.images.push({raw: img.getAttribute('src'), src: img.src, verdict: judge(img.getAttribute('src')),
                   loaded: img.complete && img.naturalWidth > 0});
for (const f of document.querySelectorAll('frame[src],iframe[src]'))
  out.frames.push({raw: f.getAttribute('src'), src: f.src, verdict: judge(f.getAttribute('src'))});
for (const f of document.forms)
  out.forms.push({raw: f.getAttribute('action'), action: f.action, verdict: judge(f.getAttribute('action'))});
return out;
"""

STEPS = []


def step(title):
    def register(function):
        STEPS.append((title, function))
        return function
    return register


class Failure(AssertionError):
    pass


class Suite:
    def __init__(self, args):
        self.port = args.port
        self.out = args.out
        self.corpus = args.corpus
        self.count_pages = args.count_pages
        self.origin = args.origin
        self.origin_pid = args.origin_pid
        self.profile = tempfile.mkdtemp(prefix="corvane-chromium-")
        options = webdriver.ChromeOptions()
        options.binary_location = args.browser
        for flag in CHROMIUM_FLAGS:
            options.add_argument(flag)
        options.add_argument("--user-data-dir=" + self.profile)
        options.add_argument("--proxy-server=127.0.0.1:%d" % self.port)
        # The browser's own services (sign-in, autofill, updates, its search
        # engine) do not go through corvex: a request that corvex passes on
        # to the web ends off-line mode, and they would end it at random.
        options.add_argument("--proxy-bypass-list=<-loopback>;" + ";".join(SERVICE_HOSTS))
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        self.driver = webdriver.Chrome(service=Service(args.driver), options=options)
        self.driver.set_page_load_timeout(30)
        self.problems = []
        self.not_built = []  # parts of a passed step that the product lacks
        self.pages = []
        self.opener = urllib.request.build_opener(
            urllib.request.ProxyHandler({"http": "http://127.0.0.1:%d" % self.port}))

    def close(self):
        try:
            self.driver.quit()
        finally:
            shutil.rmtree(self.profile, ignore_errors=True)

    # ---- Moving around.

    def open(self, url):
        self.driver.switch_to.default_content()
        self.driver.get(url)
        self.settle()

    def settle(self):
        """Waits until every frame has loaded and its images are in."""
        deadline = time.time() + 10
        while time.time() < deadline:
            if all(doc["ready"] == "complete" for doc in self.documents(collect_only_state=True)):
                break
            time.sleep(0.1)
        time.sleep(0.2)

    def click(self, frame_path, by, value):
        """Clicks an element inside the frame named by the path of frame names."""
        self.driver.switch_to.default_content()
        for name in frame_path:
            self.driver.switch_to.frame(self.driver.find_element(By.NAME, name))
        self.driver.find_element(by, value).click()
        self.driver.switch_to.default_content()
        self.settle()

    def documents(self, collect_only_state=False):
        """The top document and every frame inside it, each as COLLECT gives it."""
        found = []

        def visit(path):
            try:
                if collect_only_state:
                    found.append({"ready": self.driver.execute_script("return document.readyState"),
                                  "path": path})
                else:
                    doc = self.driver.execute_script(COLLECT)
                    doc["path"] = path
                    found.append(doc)
                frames = self.driver.find_elements(By.CSS_SELECTOR, "frame,iframe")
            except WebDriverException:
                return
            for index in range(len(frames)):
                try:
                    self.driver.switch_to.frame(index)
                except WebDriverException:
                    continue
                visit(path + [index])
                self.driver.switch_to.parent_frame()

        self.driver.switch_to.default_content()
        visit([])
        self.driver.switch_to.default_content()
        return found

    # ---- Checking.

    def console(self):
        try:
            return self.driver.get_log("browser")
        except WebDriverException:
            return []

    def check(self, name):
        """Checks the page as it stands and saves its screenshot."""
        docs = self.documents()
        page = {"name": name, "url": self.driver.current_url, "links": 0, "images": 0,
                "problems": []}
        for doc in docs:
            where = doc["url"]
            for kind in ("links", "frames", "forms"):
                for item in doc[kind]:
                    if item["verdict"] != "ok":
                        page["problems"].append("%s: %s %s (%s)" % (where, kind, item["raw"],
                                                                   item["verdict"]))
            for image in doc["images"]:
                if image["verdict"] != "ok" or not image["loaded"]:
                    page["problems"].append("%s: image %s does not load" % (where, image["raw"]))
            page["links"] += len(doc["links"])
            page["images"] += len(doc["images"])
        # A page that says what is missing comes with its status (404, 501):
        # the console's note of that status is no fault; any other failed
        # resource (an image, a frame, a script) or invalid URL is.
        documents = {doc["url"] for doc in docs}
        for entry in self.console():
            text = entry.get("message", "")
            own_status = any(text.startswith(url + " - Failed to load resource") for url in documents)
            if (entry.get("level") == "SEVERE" or "invalid" in text.lower()) and not own_status:
                page["problems"].append("console: " + text)
        self.driver.save_screenshot(os.path.join(self.out, name + ".png"))
        self.pages.append(page)
        self.problems.extend("%s: %s" % (name, p) for p in page["problems"])
        return docs

    def expect(self, condition, message):
        if not condition:
            raise Failure(message)

    def frame_text(self, frame_name):
        self.driver.switch_to.default_content()
        self.driver.switch_to.frame(self.driver.find_element(By.NAME, frame_name))
        text = self.driver.find_element(By.TAG_NAME, "body").text
        self.driver.switch_to.default_content()
        return text

    def status_of(self, url, referer=None):
        """What corvex answers for a URL, fetched through it as the proxy;
        with `referer`, as a click on that page sends it."""
        headers = {"User-Agent": "suite"}
        if referer:
            headers["Referer"] = referer
        request = urllib.request.Request(url.split("#")[0], headers=headers)
        try:
            with self.opener.open(request, timeout=20) as reply:
                return reply.status, reply.headers.get("Content-Type", "")
        except urllib.error.HTTPError as error:
            return error.code, error.headers.get("Content-Type", "")
        except Exception:  # a connection that closed without a reply
            return 0, ""

    def fetch(self, url):
        """Status, Content-Type and body of a URL fetched through corvex."""
        request = urllib.request.Request(url.split("#")[0], headers={"User-Agent": "suite"})
        try:
            with self.opener.open(request, timeout=20) as reply:
                return reply.status, reply.headers.get("Content-Type", ""), reply.read()
        except urllib.error.HTTPError as error:
            return error.code, error.headers.get("Content-Type", ""), b""
        except Exception:
            return 0, "", b""

    def link_href(self, frame_path, text):
        """The href of the link with this text inside the frame named by the path."""
        self.driver.switch_to.default_content()
        for name in frame_path:
            self.driver.switch_to.frame(self.driver.find_element(By.NAME, name))
        href = self.driver.find_element(By.LINK_TEXT, text).get_attribute("href")
        self.driver.switch_to.default_content()
        return href


# ---- The steps, in the order a user meets the pages.

@step("the start page: the catalogue of servers")
def start_page(suite):
    suite.open(START)
    suite.check("01-catalogue")
    suite.expect("Servers and Databases" in suite.frame_text("kvViewBodyFrame"),
                 "the catalogue view in the body frame")
    suite.expect(suite.driver.find_elements(By.NAME, "kvViewCommandFrame"), "the command panel")
    return "passed"


@step("the catalogue: the databases of a server, and a folder")
def catalogue(suite):
    suite.click(["kvViewBodyFrame"], By.LINK_TEXT, "Local")
    body = suite.frame_text("kvViewBodyFrame")
    suite.expect("Corvane Help" in body and "[Samples]" in body, "the Local server's databases")
    suite.click(["kvViewBodyFrame"], By.LINK_TEXT, "[Samples]")
    # A folder opens in the body frame; the frameset stays.
    suite.expect("Sample Discussion" in suite.frame_text("kvViewBodyFrame"),
                 "the folder's databases listed in the catalogue")
    suite.check("02-catalogue-folder")
    return "passed"


@step("a database's welcome page")
def welcome(suite):
    suite.click(["kvViewBodyFrame"], By.PARTIAL_LINK_TEXT, "Sample Discussion")
    suite.check("03-welcome")
    suite.expect("Sample Discussion" in suite.driver.title, "the welcome page of the sample")
    suite.expect(suite.driver.find_elements(By.LINK_TEXT, "By Category"), "its views listed")
    return "passed"


@step("a database's view (frameset, command panel, header, rows)")
def view(suite):
    suite.driver.find_element(By.LINK_TEXT, "By Category").click()
    suite.settle()
    suite.check("04-view")
    body = suite.frame_text("kvViewBodyFrame")
    suite.expect("Planning" in body and "Topic number" in body, "rows in the body frame")
    suite.expect("Dashboard" in suite.frame_text("kvViewCommandFrame"), "the command panel")
    return "passed"


@step("collapse and expand a category")
def expand(suite):
    before = suite.frame_text("kvViewBodyFrame")
    suite.click(["kvViewBodyFrame"], By.CSS_SELECTOR, "a[name^='Xo']")
    after = suite.frame_text("kvViewBodyFrame")
    suite.check("05-collapsed")
    suite.expect(len(after) < len(before), "a collapsed category hides its rows")
    suite.click(["kvViewBodyFrame"], By.CSS_SELECTOR, "a[name^='Xc']")
    suite.expect(len(suite.frame_text("kvViewBodyFrame")) >= len(before) - 2,
                 "expanded again")
    return "passed"


@step("next page")
def next_page(suite):
    first = suite.frame_text("kvViewBodyFrame")
    suite.click(["kvViewBodyFrame"], By.CSS_SELECTOR, "img[alt='Next page']")
    second = suite.frame_text("kvViewBodyFrame")
    suite.check("06-next-page")
    suite.expect(second != first, "the next page shows other rows")
    return "passed"


@step("open a document (read page)")
def open_document(suite):
    # A first click makes a row the current line; its title then opens it.
    suite.click(["kvViewBodyFrame"], By.PARTIAL_LINK_TEXT, "Topic number")
    suite.click(["kvViewBodyFrame"], By.CSS_SELECTOR, "a[href*='/D/']")
    suite.check("07-document")
    suite.expect(suite.driver.find_elements(By.NAME, "kvDocDataFrame"), "the document's frames")
    suite.expect("Subject" in suite.frame_text("kvDocDataFrame"), "the document's fields")
    suite.expect("Edit" in suite.frame_text("kvDocActionsFrame"), "its action bar")
    return "passed"


@step("edit the document, save it, see it in the view")
def edit_document(suite):
    suite.click(["kvDocActionsFrame"], By.LINK_TEXT, "Edit")
    suite.check("08-edit")
    suite.driver.switch_to.frame(suite.driver.find_element(By.NAME, "kvDocDataFrame"))
    subject = suite.driver.find_element(By.NAME, "kvField_Subject")
    subject.clear()
    subject.send_keys("Edited in the browser")
    suite.driver.find_element(By.CSS_SELECTOR, "input[type=submit]").click()
    suite.driver.switch_to.default_content()
    suite.settle()
    suite.check("09-saved")
    suite.expect("Edited in the browser" in suite.frame_text("kvViewBodyFrame"),
                 "the saved subject in the view")
    return "passed"


@step("the help database's navigator")
def help_navigator(suite):
    suite.open(START + "Local:/kvhelp.ldf:/n/Contents")
    suite.check("10-help")
    suite.expect(suite.driver.find_elements(By.NAME, "kvViewCommandFrame"), "the navigator frame")
    return "passed"


@step("a missing view, and the workspace")
def missing(suite):
    suite.open(START + "Local:/Samples/discuss.ldf:/V/No Such View/LR/")
    suite.check("11-missing-view")
    suite.expect("No such view" in suite.driver.page_source, "a page saying the view is missing")
    # The bare command host leads to the workspace: a view of the stored
    # pages' database.
    suite.open("http://corvane.command/")
    suite.check("12-workspace")
    suite.expect(suite.driver.current_url.startswith(START), "the workspace view, on our own host")
    return "passed"


@step("a live web page through corvex, with the dashboard")
def live_page(suite):
    if not suite.origin:
        return "not built"
    suite.open(suite.origin)
    suite.check("13-live-page")
    strip = suite.driver.find_elements(By.ID, "dashboard")
    suite.expect(strip, "the dashboard strip at the end of the page")
    suite.expect("A page of the web" in suite.driver.page_source, "the page itself")
    hrefs = [a.get_attribute("href") for a in strip[0].find_elements(By.TAG_NAME, "a")
             if a.get_attribute("href")]
    suite.expect(hrefs and all(h.startswith("http://corvane.command/") for h in hrefs),
                 "the strip's links on the command host: %s" % hrefs)
    # "Keep dashboard": the page in the dashboard's frameset.
    suite.open("http://corvane.command/D/F/" + suite.origin)
    suite.check("14-dashboard-frameset")
    return "passed"


@step("a Favorite's stored copy, read off line")
def stored_copy(suite):
    if not suite.origin:
        return "not built"
    live = suite.origin.rsplit("/", 1)[0] + "/favourite.html"
    title = "Notes kept for the road"
    # On the live page the strip's acting links lead to the dashboard
    # frameset; its dashboard frame makes the page a Favorite (the Add
    # Favorite dialog is answered from the desktop's answer script).
    suite.open(live)
    suite.click([], By.LINK_TEXT, "Make Favorite")
    suite.expect(suite.driver.find_elements(By.NAME, "kvDashboardFrame"),
                 "the dashboard frameset after Make Favorite on a live page")
    suite.click(["kvDashboardFrame"], By.LINK_TEXT, "Make Favorite")
    # The Favorite's dashboard offers its stored copy at once; the job task
    # that the scheduler starts fills it in within a few seconds: the page,
    # its picture and the page one level down.
    suite.open("http://corvane.command/D/F/" + live)
    stored = suite.link_href(["kvDashboardFrame"], "Stored copy")
    suite.expect(".corvane.storedpage/" in stored, "the stored copy's link: %s" % stored)
    deadline = time.time() + 15
    missing = ["the page"]
    while missing and time.time() < deadline:
        time.sleep(0.5)
        status, _, body = suite.fetch(stored)
        text = body.decode("latin-1")
        if status != 200 or title not in text:
            continue
        named = dict((url.rsplit("/", 1)[-1], urllib.parse.urljoin(stored, url))
                     for url in re.findall(r'(?:src|href)="([^"]+)"', text))
        missing = []
        for name, kind in (("sky.png", "image/png"), ("second.html", "text/html")):
            status, got, body = suite.fetch(named[name]) if name in named else (0, "", b"")
            if status != 200 or kind not in got or b"No offline replica copy" in body:
                missing.append(name)
    suite.expect(not missing, "stored within 15 s: %s" % ", ".join(missing))
    suite.check("15-favourite-live")

    # Off line as a user goes: the dashboard's switch (confirmed), and the
    # web server is gone.
    suite.click(["kvDashboardFrame"], By.LINK_TEXT, "Go on/off line")
    suite.expect("(now off line)" in suite.driver.find_element(By.TAG_NAME, "body").text,
                 "the dashboard says off line")
    if suite.origin_pid:
        os.kill(suite.origin_pid, signal.SIGTERM)
    host, port = urllib.parse.urlsplit(live).netloc.split(":")
    for _ in range(50):
        try:
            socket.create_connection((host, int(port)), timeout=1).close()
        except OSError:
            break
        time.sleep(0.1)
    else:
        raise Failure("the web server of the page did not stop")

    suite.click([], By.LINK_TEXT, "Stored copy")
    docs = suite.check("16-stored-copy")
    suite.expect(suite.driver.current_url.split("#")[0] == stored.split("#")[0],
                 "the stored copy at its own URL: %s" % suite.driver.current_url)
    body = suite.driver.find_element(By.TAG_NAME, "body").text
    suite.expect(title in body and "read again with its server gone" in body,
                 "the stored page's text")
    images = [image for doc in docs for image in doc["images"]]
    suite.expect(len(images) == 1 and images[0]["loaded"],
                 "the stored picture loads: %s" % images)
    strip = suite.driver.find_element(By.ID, "dashboard").text
    suite.expect("stored copy" in strip and "(now off line)" in strip,
                 "the stored copy's dashboard, off line: %s" % strip)
    suite.driver.find_element(By.LINK_TEXT, "The second page").click()
    suite.settle()
    suite.check("17-stored-second-page")
    second = suite.driver.current_url
    suite.expect(".corvane.storedpage/" in second and second.endswith("/second.html"),
                 "the page one level down, in the stored copy: %s" % second)
    text = suite.driver.find_element(By.TAG_NAME, "body").text
    suite.expect("One level below the Favorite." in text, "the page one level down, stored too")

    # Back on line from the stored page's own dashboard: the browser stays
    # on the page.
    suite.driver.find_element(By.LINK_TEXT, "Go on/off line").click()
    suite.settle()
    suite.expect(suite.driver.current_url.split("#")[0] == second,
                 "back on the stored page after the switch: %s" % suite.driver.current_url)
    suite.expect("(now on line)" in suite.driver.find_element(By.ID, "dashboard").text,
                 "back on line")

    # The workspace lists the Favorite with what was stored for it; only
    # what the page names as pages and pictures, nothing made of other
    # schemes (its icon is a data: URL).
    suite.driver.find_element(By.LINK_TEXT, "Workspace").click()
    suite.settle()
    suite.check("18-workspace-favourite")
    rows = suite.frame_text("kvViewBodyFrame")
    suite.expect(title in rows and "/second.html" in rows and "/pictures/sky.png" in rows,
                 "the Favorite and its stored elements in the workspace: %s" % rows)
    suite.expect("data:" not in rows, "no element made of a data: URL: %s" % rows)
    # A row of the workspace opens the element's document, not its stored
    # copy (the view's rows lead to documents of the page-replica database).
    suite.click(["kvViewBodyFrame"], By.PARTIAL_LINK_TEXT, title)
    suite.click(["kvViewBodyFrame"], By.CSS_SELECTOR, "a[href*='/D/']")
    opened = [doc["url"] for doc in suite.documents()]
    if not any(".corvane.storedpage/" in url for url in opened):
        suite.not_built.append("a Favorite's row in the workspace opens its document (%s), "
                               "not its stored copy" % opened[-1])
    return "passed"


@step("program folder files")
def program_folder(suite):
    suite.open("http://corvane.programfolder/images/smbutton.gif")
    status, kind = suite.status_of("http://corvane.programfolder/images/smbutton.gif")
    suite.expect(status == 200 and kind == "image/gif", "an image of the program folder")
    status, _ = suite.status_of("http://corvane.programfolder/images/../ledra.ini")
    suite.expect(status == 404, "nothing outside the three folders")
    return "passed"


@step("every URL form through Chromium's own parser")
def corpus(suite):
    if not suite.corpus or not os.path.exists(suite.corpus):
        return "not built"
    pairs = [line.rstrip("\n").split("\t") for line in open(suite.corpus, encoding="latin-1")]
    browser_urls = [pair[1] for pair in pairs if len(pair) == 2]
    suite.open("http://corvane.programfolder/images/blanktw.gif")
    changed = suite.driver.execute_script(
        "return arguments[0].filter(u => { try { return new URL(u).href !== u; }"
        " catch (e) { return true; } });", browser_urls)
    for url in changed:
        suite.problems.append("corpus: Chromium does not keep %s" % url)
    suite.corpus_checked = len(browser_urls)
    return "passed" if not changed else "failed"


@step("a newcomer's count: links and images within three clicks of the start page")
def newcomer(suite):
    seen_pages = set()
    statuses = {}
    links = {}
    images = {}
    asks = set()
    queue = collections.deque([(START, 0)])
    while queue and len(seen_pages) < suite.count_pages:
        url, depth = queue.popleft()
        if url in seen_pages:
            continue
        seen_pages.add(url)
        try:
            suite.open(url)
        except WebDriverException:
            continue
        suite.console()
        for doc in suite.documents():
            for image in doc["images"]:
                images[image["src"]] = image["verdict"] == "ok" and image["loaded"]
            for link in doc["links"]:
                target = link["href"].split("#")[0]
                if link["verdict"] != "ok" or not target.startswith("http"):
                    links[target or link["raw"]] = False
                    continue
                if "/?/" in target:
                    # Database maintenance (index, compact, delete): it asks
                    # on the desktop and changes the database; not followed.
                    asks.add(target)
                    continue
                if target not in statuses:
                    statuses[target] = suite.status_of(target, doc["url"])
                status, kind = statuses[target]
                links[target] = 200 <= status < 400
                if (200 <= status < 400 and depth < 3 and "html" in kind
                        and any(h in target for h in OWN_HOSTS)):
                    queue.append((target, depth + 1))
    suite.count = {
        "pages": len(seen_pages),
        "links": len(links), "links working": sum(links.values()),
        "images": len(images), "images loading": sum(images.values()),
        "maintenance links not followed": len(asks),
        "not working": sorted(u for u, ok in links.items() if not ok)[:200],
        "by status": dict(collections.Counter(str(statuses[u][0]) for u in links if u in statuses)),
    }
    return "passed"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--browser", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--corpus", default="")
    parser.add_argument("--origin", default="", help="a page of a web server on loopback")
    parser.add_argument("--origin-pid", type=int, default=0,
                        help="the web server's process, stopped to read stored pages off line")
    parser.add_argument("--count-pages", type=int, default=40,
                        help="pages the newcomer's count visits at most")
    args = parser.parse_args()
    suite = Suite(args)
    results = []
    started = time.time()
    try:
        for title, function in STEPS:
            step_started = time.time()
            try:
                outcome = function(suite)
            except (Failure, WebDriverException) as error:
                outcome = "failed"
                suite.problems.append("%s: %s" % (title, str(error).splitlines()[0]))
            results.append((title, outcome))
            print("  %-70s %s (%.1f s)" % (title, outcome, time.time() - step_started))
    finally:
        suite.close()
    report = {"steps": results, "pages": suite.pages, "problems": suite.problems,
              "not built": suite.not_built,
              "corpus URLs": getattr(suite, "corpus_checked", 0),
              "newcomer": getattr(suite, "count", {}), "seconds": round(time.time() - started, 1)}
    with open(os.path.join(args.out, "report.json"), "w") as f:
        json.dump(report, f, indent=1)
    count = report["newcomer"]
    if count:
        print("  newcomer: %d pages; links working %d of %d; images loading %d of %d" % (
            count["pages"], count["links working"], count["links"], count["images loading"],
            count["images"]))
    if count:
        print("  newcomer: %d maintenance links (they ask on the desktop) not followed" %
              count["maintenance links not followed"])
    print("  corpus: %d URLs through Chromium's parser" % report["corpus URLs"])
    for part in suite.not_built:
        print("  not built: " + part)
    for problem in suite.problems:
        print("  problem: " + problem)
    print("browser suite: %d steps in %.0f s, screenshots and report.json in %s" % (
        len(results), report["seconds"], args.out))
    failed = [t for t, o in results if o == "failed"] or suite.problems
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
