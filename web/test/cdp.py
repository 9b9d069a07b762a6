"""A small client of the DevTools protocol of a headless Chromium, over a
WebSocket written on the standard library (no package needed): start the
browser, send commands, wait for a condition in the page, take a
screenshot."""
import base64
import json
import os
import shutil
import socket
import struct
import subprocess
import tempfile
import time
import urllib.request


class WebSocket:
    def __init__(self, url):
        rest = url[len("ws://"):]
        hostport, path = rest.split("/", 1)
        host, port = hostport.split(":")
        self.sock = socket.create_connection((host, int(port)), timeout=120)
        key = base64.b64encode(os.urandom(16)).decode()
        self.sock.sendall((f"GET /{path} HTTP/1.1\r\nHost: {hostport}\r\nUpgrade: websocket\r\n"
                           f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\n"
                           "Sec-WebSocket-Version: 13\r\n\r\n").encode())
        head = b""
        while b"\r\n\r\n" not in head:
            chunk = self.sock.recv(1)
            if not chunk:
                raise ConnectionError("the browser closed the connection")
            head += chunk
        if b" 101 " not in head.split(b"\r\n", 1)[0]:
            raise ConnectionError(head.decode(errors="replace"))

    def _exact(self, n):
        data = b""
        while len(data) < n:
            chunk = self.sock.recv(n - len(data))
            if not chunk:
                raise ConnectionError("the browser closed the connection")
            data += chunk
        return data

    def send(self, text):
        payload = text.encode()
        mask = os.urandom(4)
        n = len(payload)
        if n < 126:
            head = struct.pack("!BB", 0x81, 0x80 | n)
        elif n < 1 << 16:
            head = struct.pack("!BBH", 0x81, 0x80 | 126, n)
        else:
            head = struct.pack("!BBQ", 0x81, 0x80 | 127, n)
        masked = bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
        self.sock.sendall(head + mask + masked)

    def receive(self):
        message = b""
        while True:
            b0, b1 = self._exact(2)
            n = b1 & 0x7F
            if n == 126:
                n = struct.unpack("!H", self._exact(2))[0]
            elif n == 127:
                n = struct.unpack("!Q", self._exact(8))[0]
            data = self._exact(n)
            if b0 & 0x0F == 0x8:
                raise ConnectionError("the browser closed the connection")
            if b0 & 0x0F in (0x1, 0x2, 0x0):
                message += data
                if b0 & 0x80:
                    return message.decode()


class Browser:
    """Headless Chromium with one page, driven over the DevTools protocol."""

    def __init__(self, width=1000, height=900):
        exe = shutil.which("chromium") or shutil.which("chromium-browser")
        if exe is None:
            raise RuntimeError("chromium is not installed")
        self.profile = tempfile.mkdtemp(prefix="ineqbf-chromium-")
        self.proc = subprocess.Popen(
            [exe, "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
             "--disable-extensions", "--disable-dev-shm-usage", "--remote-debugging-address=127.0.0.1", "--remote-debugging-port=0",
             f"--user-data-dir={self.profile}", f"--window-size={width},{height}", "about:blank"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        port = self._port()
        targets = json.load(urllib.request.urlopen(f"http://127.0.0.1:{port}/json/list", timeout=30))
        page = next(t for t in targets if t["type"] == "page")
        self.ws = WebSocket(page["webSocketDebuggerUrl"])
        self.next_id = 0
        self.call("Page.enable")
        self.call("Runtime.enable")

    def _port(self):
        marker = os.path.join(self.profile, "DevToolsActivePort")
        deadline = time.time() + 60
        while time.time() < deadline:
            if os.path.exists(marker):
                lines = open(marker).read().split()
                if lines:
                    return int(lines[0])
            if self.proc.poll() is not None:
                raise RuntimeError("chromium ended at start")
            time.sleep(0.1)
        raise RuntimeError("chromium did not open its debugging port")

    def call(self, method, **params):
        self.next_id += 1
        self.ws.send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        while True:
            reply = json.loads(self.ws.receive())
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError(f"{method}: {reply['error']}")
                return reply.get("result", {})

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True, awaitPromise=True)
        if "exceptionDetails" in result:
            raise RuntimeError(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def open(self, url):
        self.call("Page.navigate", url=url)
        self.wait("document.readyState === 'complete' && !!document.getElementById('form')", 30)

    def wait(self, condition, seconds):
        deadline = time.time() + seconds
        while time.time() < deadline:
            if self.evaluate(f"!!({condition})"):
                return
            time.sleep(0.1)
        raise TimeoutError(f"not within {seconds} s: {condition}")

    def screenshot(self, path):
        height = self.evaluate("document.documentElement.scrollHeight")
        width = self.evaluate("document.documentElement.scrollWidth")
        shot = self.call("Page.captureScreenshot", format="png", captureBeyondViewport=True,
                         clip={"x": 0, "y": 0, "width": width, "height": height, "scale": 1})
        with open(path, "wb") as f:
            f.write(base64.b64decode(shot["data"]))

    def close(self):
        self.proc.terminate()
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        shutil.rmtree(self.profile, ignore_errors=True)
