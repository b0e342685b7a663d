"""A headless Chromium driven through the DevTools protocol, for the page's browser test:
start it, send commands, keep the console's errors, take screenshots and read their pixels.
Everything comes from Debian: chromium and python3-websocket."""

import base64
import json
import os
import shutil
import struct
import subprocess
import tempfile
import time
import zlib

import websocket

# WebGL through SwiftShader, on a machine without a GPU or a display; nothing reaches for the
# network, and a fresh profile each time.
FLAGS = [
    '--headless=new', '--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
    '--no-first-run', '--no-default-browser-check', '--remote-debugging-port=0',
    '--window-size=1280,800',
]


class Browser:
    """One Chromium process and one page in it, attached to through one connection."""

    def __init__(self, log_path, chromium='chromium'):
        self.profile = tempfile.mkdtemp(prefix='tarnfold-chromium-')
        self.log = open(log_path, 'w')
        self.process = subprocess.Popen(
            [chromium, *FLAGS, '--user-data-dir=' + self.profile, 'about:blank'],
            stdout=self.log, stderr=subprocess.STDOUT)
        self.problems = []  # console errors and page exceptions, as text
        self.next_id = 0
        port_file = os.path.join(self.profile, 'DevToolsActivePort')
        deadline = time.time() + 60
        while not os.path.exists(port_file) or os.path.getsize(port_file) == 0:
            if time.time() > deadline or self.process.poll() is not None:
                raise RuntimeError('chromium did not start; see ' + log_path)
            time.sleep(0.1)
        time.sleep(0.2)  # the file is written in one go, but may be read half-written
        port, path = open(port_file).read().split('\n')[:2]
        self.socket = websocket.create_connection('ws://127.0.0.1:%s%s' % (port, path),
                                                  timeout=180)
        self.session = None
        pages = [t for t in self.send('Target.getTargets')['targetInfos'] if t['type'] == 'page']
        self.session = self.send('Target.attachToTarget',
                                 {'targetId': pages[0]['targetId'], 'flatten': True},
                                 browser=True)['sessionId']
        for domain in ('Runtime', 'Log', 'Page'):
            self.send(domain + '.enable')

    def close(self):
        try:
            self.socket.close()
        finally:
            self.process.terminate()
            try:
                self.process.wait(20)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
            self.log.close()
            shutil.rmtree(self.profile, ignore_errors=True)

    def send(self, method, params=None, browser=False):
        """Sends a command to the page (or to the browser) and returns its result."""
        self.next_id += 1
        message = {'id': self.next_id, 'method': method, 'params': params or {}}
        if self.session and not browser:
            message['sessionId'] = self.session
        self.socket.send(json.dumps(message))
        while True:
            reply = json.loads(self.socket.recv())
            if reply.get('id') == self.next_id:
                if 'error' in reply:
                    raise RuntimeError('%s: %s' % (method, reply['error']))
                return reply['result']
            self.note_event(reply)

    def note_event(self, event):
        method, params = event.get('method'), event.get('params', {})
        if method == 'Runtime.consoleAPICalled' and params['type'] in ('error', 'assert'):
            self.problems.append('console.%s: %s' % (params['type'], ' '.join(
                str(a.get('value', a.get('description', ''))) for a in params['args'])))
        elif method == 'Runtime.exceptionThrown':
            details = params['exceptionDetails']
            self.problems.append('exception: %s %s' % (
                details.get('text', ''), details.get('exception', {}).get('description', '')))
        elif method == 'Log.entryAdded' and params['entry']['level'] == 'error':
            self.problems.append('log: ' + params['entry']['text'])

    def evaluate(self, expression, await_promise=False):
        """The value of a JavaScript expression in the page; raises on an exception."""
        result = self.send('Runtime.evaluate', {'expression': expression, 'returnByValue': True,
                                                'awaitPromise': await_promise})
        if 'exceptionDetails' in result:
            raise RuntimeError('%s: %s' % (expression, result['exceptionDetails']))
        return result['result'].get('value')

    def wait_for(self, expression, seconds=120):
        deadline = time.time() + seconds
        while not self.evaluate(expression):
            if time.time() > deadline:
                raise RuntimeError('timed out waiting for ' + expression)
            time.sleep(0.1)

    def settle(self):
        """Waits until the page has drawn two more frames."""
        self.evaluate('new Promise(r => requestAnimationFrame(() => requestAnimationFrame(r)))',
                      await_promise=True)

    def mouse(self, kind, x, y, button='none', clicks=0):
        self.send('Input.dispatchMouseEvent', {'type': kind, 'x': x, 'y': y, 'button': button,
                                               'clickCount': clicks})

    def click(self, x, y):
        self.mouse('mouseMoved', x, y)
        self.mouse('mousePressed', x, y, 'left', 1)
        self.mouse('mouseReleased', x, y, 'left', 1)
        self.settle()

    def click_element(self, selector):
        box = self.evaluate('(() => { const r = document.querySelector(%s)'
                            '.getBoundingClientRect(); return [r.x + r.width / 2, '
                            'r.y + r.height / 2]; })()' % json.dumps(selector))
        self.click(*box)

    def screenshot(self, path):
        """Saves a PNG of the page and returns its pixels."""
        data = base64.b64decode(self.send('Page.captureScreenshot', {'format': 'png'})['data'])
        with open(path, 'wb') as file:
            file.write(data)
        return decode_png(data)


class Pixels:
    """An RGB(A) image, row by row."""

    def __init__(self, width, height, channels, data):
        self.width, self.height, self.channels, self.data = width, height, channels, data

    def at(self, x, y):
        i = (y * self.width + x) * self.channels
        return tuple(self.data[i:i + 3])


def decode_png(data):
    """The pixels of an 8-bit, non-interlaced RGB or RGBA PNG, as Chromium writes them."""
    if data[:8] != b'\x89PNG\r\n\x1a\n':
        raise ValueError('not a PNG')
    position, chunks = 8, []
    while position < len(data):
        length, kind = struct.unpack('>I4s', data[position:position + 8])
        chunks.append((kind, data[position + 8:position + 8 + length]))
        position += 12 + length
    width, height, depth, colour, _, _, interlace = struct.unpack('>IIBBBBB', chunks[0][1])
    if depth != 8 or colour not in (2, 6) or interlace:
        raise ValueError('a PNG this reader does not know')
    channels = 4 if colour == 6 else 3
    raw = zlib.decompress(b''.join(body for kind, body in chunks if kind == b'IDAT'))
    stride = width * channels
    out = bytearray(height * stride)
    previous = bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        if kind == 2:
            line = bytearray((a + b) & 255 for a, b in zip(line, previous))
        elif kind in (1, 3, 4):
            for i in range(stride):
                left = line[i - channels] if i >= channels else 0
                up, corner = previous[i], previous[i - channels] if i >= channels else 0
                if kind == 1:
                    guess = left
                elif kind == 3:
                    guess = (left + up) >> 1
                else:
                    p = left + up - corner
                    pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                    guess = left if pa <= pb and pa <= pc else up if pb <= pc else corner
                line[i] = (line[i] + guess) & 255
        out[y * stride:(y + 1) * stride] = line
        previous = line
    return Pixels(width, height, channels, out)
