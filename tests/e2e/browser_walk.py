"""Walks headless Chromium through pages as a person would, over chromedriver's WebDriver
protocol, with nothing but the standard library.

usage: browser_walk.py CHROMIUM CHROMEDRIVER PROFILE_DIR STEP...
steps:  open URL          load a page
        fill NAME VALUE   type VALUE into the form control named NAME (emptied first)
        submit            press the page's submit button and wait for the next page
        show              print one JSON line: the page's url, charset and visible text
Exit status 0 when every step ran; otherwise the reason on standard error and 1.
"""
import http.client
import json
import socket
import subprocess
import sys
import time

ELEMENT = "element-6066-11e4-a52e-4f735466cecf"
ARGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
        "--disable-background-networking", "--disable-component-update", "--disable-sync"]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Driver:
    def __init__(self, port):
        self.port = port
        self.session = None

    def call(self, method, path, body=None):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=60)
        try:
            data = None if body is None else json.dumps(body).encode("utf-8")
            headers = {"Content-Type": "application/json; charset=utf-8"} if data is not None else {}
            connection.request(method, path, data, headers)
            reply = connection.getresponse()
            answer = json.loads(reply.read().decode("utf-8") or "{}")
        finally:
            connection.close()
        if reply.status != 200:
            raise RuntimeError("%s %s: %s" % (method, path, answer.get("value", answer)))
        return answer.get("value")

    def wait_ready(self, seconds):
        deadline = time.monotonic() + seconds
        while True:
            try:
                if self.call("GET", "/status").get("ready"):
                    return
            except (OSError, RuntimeError, ValueError):
                pass
            if time.monotonic() > deadline:
                raise RuntimeError("chromedriver did not become ready")
            time.sleep(0.05)

    def start(self, chromium, profile):
        options = {"binary": chromium, "args": ARGS + ["--user-data-dir=" + profile]}
        value = self.call("POST", "/session",
                          {"capabilities": {"alwaysMatch": {"goog:chromeOptions": options}}})
        self.session = value["sessionId"]

    def run(self, method, path, body=None):
        return self.call(method, "/session/%s%s" % (self.session, path), body)

    def script(self, text):
        return self.run("POST", "/execute/sync", {"script": text, "args": []})

    def find(self, css):
        return self.run("POST", "/element", {"using": "css selector", "value": css})[ELEMENT]

    def page(self):
        return self.script("return {url: location.href, charset: document.characterSet,"
                           " text: document.body ? document.body.innerText : ''};")

    def stop(self):
        if self.session:
            try:
                self.run("DELETE", "")
            except (OSError, RuntimeError, ValueError):
                pass


def walk(driver, steps):
    i = 0
    while i < len(steps):
        step = steps[i]
        if step == "open":
            driver.run("POST", "/url", {"url": steps[i + 1]})
            i += 2
        elif step == "fill":
            element = driver.find('[name="%s"]' % steps[i + 1])
            driver.run("POST", "/element/%s/clear" % element, {})
            driver.run("POST", "/element/%s/value" % element, {"text": steps[i + 2]})
            i += 3
        elif step == "submit":
            before = driver.page()["url"]
            driver.run("POST", "/element/%s/click" % driver.find('input[type="submit"]'), {})
            deadline = time.monotonic() + 20
            while driver.script("return document.readyState;") != "complete" or \
                    driver.script("return location.href;") == before:
                if time.monotonic() > deadline:
                    raise RuntimeError("no page came after submit")
                time.sleep(0.05)
            i += 1
        elif step == "show":
            sys.stdout.write(json.dumps(driver.page(), ensure_ascii=False) + "\n")
            sys.stdout.flush()
            i += 1
        else:
            raise RuntimeError("unknown step " + step)


def main():
    if len(sys.argv) < 4:
        sys.stderr.write(__doc__)
        return 1
    chromium, chromedriver, profile, steps = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
    sys.stdout = open(sys.stdout.fileno(), "w", encoding="utf-8", closefd=False)
    port = free_port()
    server = subprocess.Popen([chromedriver, "--port=%d" % port], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    driver = Driver(port)
    try:
        driver.wait_ready(20)
        driver.start(chromium, profile)
        walk(driver, steps)
        return 0
    except (OSError, RuntimeError, ValueError, KeyError) as e:
        sys.stderr.write("browser_walk: %s\n" % e)
        return 1
    finally:
        driver.stop()
        server.terminate()
        try:
            server.wait(10)
        except subprocess.TimeoutExpired:
            server.kill()
            server.wait()


if __name__ == "__main__":
    sys.exit(main())
