"""Real browsers for the page's browser test, each driving one page from Python: Chromium
through the DevTools protocol, headless, WebGL through SwiftShader; Firefox through WebDriver
BiDi, on a private Xvfb display, as headless Firefox finds no WebGL driver on a machine without
a GPU. Both keep the page's console errors and exceptions, and give screenshots as pixels.
Everything comes from Debian: chromium, firefox-esr, xvfb and python3-websocket."""

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

WIDTH, HEIGHT = 1280, 800


class Page:
    """What the test does with a page, on top of the few things each browser does its way:
    evaluate, move, click, tap, type_text, press_enter, screenshot_png, navigate and close."""

    problems = None  # console errors and page exceptions, as text

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

    def click_element(self, selector):
        self.click(*self.evaluate('(() => { const r = document.querySelector(%s)'
                                  '.getBoundingClientRect(); return [r.x + r.width / 2, '
                                  'r.y + r.height / 2]; })()' % json.dumps(selector)))

    def screenshot(self, path):
        """Saves a PNG of the page and returns its pixels."""
        data = self.screenshot_png()
        with open(path, 'wb') as file:
            file.write(data)
        return decode_png(data)


def wait_for_file(path, process, log, seconds=60):
    deadline = time.time() + seconds
    while not os.path.exists(path) or os.path.getsize(path) == 0:
        if time.time() > deadline or process.poll() is not None:
            raise RuntimeError('the browser did not start; see ' + log)
        time.sleep(0.1)
    time.sleep(0.2)  # written in one go, but it may be read half-written


def stop(process):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(20)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


class Chromium(Page):
    FLAGS = [
        '--headless=new', '--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
        '--disable-background-networking', '--disable-component-update', '--disable-sync',
        '--no-first-run', '--no-default-browser-check', '--remote-debugging-port=0',
        '--window-size=%d,%d' % (WIDTH, HEIGHT),
    ]

    def __init__(self, log_path, downloads):
        self.profile = tempfile.mkdtemp(prefix='tarnfold-chromium-')
        self.log = open(log_path, 'w')
        self.process = subprocess.Popen(
            ['chromium', *self.FLAGS, '--user-data-dir=' + self.profile, 'about:blank'],
            stdout=self.log, stderr=subprocess.STDOUT)
        self.problems, self.next_id, self.session = [], 0, None
        try:
            port_file = os.path.join(self.profile, 'DevToolsActivePort')
            wait_for_file(port_file, self.process, log_path)
            port, path = open(port_file).read().split('\n')[:2]
            self.socket = websocket.create_connection('ws://127.0.0.1:%s%s' % (port, path),
                                                      timeout=180)
            pages = [t for t in self.send('Target.getTargets')['targetInfos']
                     if t['type'] == 'page']
            self.session = self.send('Target.attachToTarget',
                                     {'targetId': pages[0]['targetId'], 'flatten': True},
                                     browser=True)['sessionId']
            for domain in ('Runtime', 'Log', 'Page'):
                self.send(domain + '.enable')
            self.send('Emulation.setDeviceMetricsOverride', {'width': WIDTH, 'height': HEIGHT,
                                                            'deviceScaleFactor': 1,
                                                            'mobile': False})
            self.send('Browser.setDownloadBehavior', {'behavior': 'allow',
                                                      'downloadPath': downloads}, browser=True)
        except BaseException:
            self.close()
            raise

    def close(self):
        if getattr(self, 'socket', None):
            self.socket.close()
        stop(self.process)
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

    def navigate(self, url):
        self.send('Page.navigate', {'url': url})

    def evaluate(self, expression, await_promise=False):
        """The value of a JavaScript expression in the page; raises on an exception."""
        result = self.send('Runtime.evaluate', {'expression': expression, 'returnByValue': True,
                                                'awaitPromise': await_promise})
        if 'exceptionDetails' in result:
            raise RuntimeError('%s: %s' % (expression, result['exceptionDetails']))
        return result['result'].get('value')

    def mouse(self, kind, x, y, button='none', clicks=0):
        self.send('Input.dispatchMouseEvent', {'type': kind, 'x': x, 'y': y, 'button': button,
                                               'clickCount': clicks})

    def move(self, x, y):
        self.mouse('mouseMoved', x, y)

    def click(self, x, y):
        self.mouse('mouseMoved', x, y)
        self.mouse('mousePressed', x, y, 'left', 1)
        self.mouse('mouseReleased', x, y, 'left', 1)
        self.settle()

    def tap(self, x, y):
        self.send('Emulation.setTouchEmulationEnabled', {'enabled': True, 'maxTouchPoints': 1})
        self.send('Input.dispatchTouchEvent', {'type': 'touchStart',
                                               'touchPoints': [{'x': x, 'y': y}]})
        self.send('Input.dispatchTouchEvent', {'type': 'touchEnd', 'touchPoints': []})
        self.send('Emulation.setTouchEmulationEnabled', {'enabled': False})
        self.settle()

    def type_text(self, text):
        self.send('Input.insertText', {'text': text})

    def press_enter(self):
        for kind in ('keyDown', 'keyUp'):
            self.send('Input.dispatchKeyEvent', {'type': kind, 'key': 'Enter', 'code': 'Enter',
                                                 'windowsVirtualKeyCode': 13, 'text': '\r'})

    def screenshot_png(self):
        return base64.b64decode(self.send('Page.captureScreenshot', {'format': 'png'})['data'])


class Firefox(Page):
    def __init__(self, log_path, downloads):
        self.profile = tempfile.mkdtemp(prefix='tarnfold-firefox-')
        self.log = open(log_path, 'w')
        self.problems, self.next_id, self.socket, self.process = [], 0, None, None
        # A display of its own: Xvfb picks a free number and writes it to the pipe.
        read_end, write_end = os.pipe()
        self.display = subprocess.Popen(
            ['Xvfb', '-displayfd', str(write_end), '-screen', '0', '%dx%dx24' % (WIDTH + 200,
                                                                                 HEIGHT + 200),
             '-nolisten', 'tcp'], pass_fds=(write_end,), stdout=self.log, stderr=subprocess.STDOUT)
        os.close(write_end)
        try:
            # Up to the newline: a reader gone before it is written makes Xvfb give up.
            number = b''
            while not number.endswith(b'\n'):
                got = os.read(read_end, 16)
                if not got:
                    break
                number += got
            os.close(read_end)
            number = number.decode().strip()
            if not number:
                raise RuntimeError('Xvfb did not start; see ' + log_path)
            # Downloads go to `downloads` without asking; nothing reaches for the network.
            prefs = {'browser.download.folderList': 2, 'browser.download.dir': downloads,
                     'browser.download.useDownloadDir': True,
                     'browser.download.always_ask_before_handling_new_types': False,
                     'browser.helperApps.neverAsk.saveToDisk': 'text/plain',
                     'browser.shell.checkDefaultBrowser': False,
                     'app.update.disabledForTesting': True, 'network.connectivity-service.enabled':
                     False, 'datareporting.policy.dataSubmissionEnabled': False}
            with open(os.path.join(self.profile, 'user.js'), 'w') as file:
                for name, value in prefs.items():
                    file.write('user_pref(%s, %s);\n' % (json.dumps(name), json.dumps(value)))
            self.process = subprocess.Popen(
                ['firefox-esr', '--no-remote', '--profile', self.profile,
                 '--remote-debugging-port', '0', '--width', str(WIDTH),
                 '--height', str(HEIGHT)],
                stdout=self.log, stderr=subprocess.STDOUT,
                env=dict(os.environ, DISPLAY=':' + number, MOZ_CRASHREPORTER_DISABLE='1'))
            url = self.listening(log_path)
            # Firefox refuses a connection that names an origin.
            self.socket = websocket.create_connection(url + '/session', timeout=180,
                                                      suppress_origin=True)
            self.send('session.new', {'capabilities': {}})
            self.send('session.subscribe', {'events': ['log.entryAdded']})
            self.context = self.send('browsingContext.getTree', {})['contexts'][0]['context']
            self.send('browsingContext.setViewport', {'context': self.context, 'viewport': {
                'width': WIDTH, 'height': HEIGHT}, 'devicePixelRatio': 1})
        except BaseException:
            self.close()
            raise

    def listening(self, log_path, seconds=60):
        """The address Firefox says, in its log, that it listens on."""
        deadline = time.time() + seconds
        while time.time() < deadline and self.process.poll() is None:
            for line in open(log_path):
                if line.startswith('WebDriver BiDi listening on '):
                    return line.split()[-1]
            time.sleep(0.2)
        raise RuntimeError('firefox did not start; see ' + log_path)

    def close(self):
        if self.socket:
            self.socket.close()
        if self.process:
            stop(self.process)
        stop(self.display)
        self.log.close()
        shutil.rmtree(self.profile, ignore_errors=True)

    def send(self, method, params=None):
        self.next_id += 1
        self.socket.send(json.dumps({'id': self.next_id, 'method': method,
                                     'params': params or {}}))
        while True:
            reply = json.loads(self.socket.recv())
            if reply.get('id') == self.next_id:
                if reply.get('type') == 'error':
                    raise RuntimeError('%s: %s' % (method, reply))
                return reply['result']
            if reply.get('method') == 'log.entryAdded' and reply['params']['level'] == 'error':
                entry = reply['params']
                self.problems.append('%s: %s %s' % (entry['type'], entry.get('text', ''),
                                                    entry.get('stackTrace', '')))

    def navigate(self, url):
        self.send('browsingContext.navigate', {'context': self.context, 'url': url,
                                               'wait': 'complete'})

    def evaluate(self, expression, await_promise=False):
        # The value comes back as JSON text, which is simpler than BiDi's own serialisation.
        result = self.send('script.evaluate', {
            'expression': '(async () => JSON.stringify(await (%s)))()' % expression,
            'target': {'context': self.context}, 'awaitPromise': True})
        if result['type'] != 'success':
            raise RuntimeError('%s: %s' % (expression, result))
        value = result['result']
        return json.loads(value['value']) if value['type'] == 'string' else None

    def pointer(self, actions, kind='mouse'):
        self.send('input.performActions', {'context': self.context, 'actions': [{
            'type': 'pointer', 'id': kind, 'parameters': {'pointerType': kind},
            'actions': actions}]})

    def move(self, x, y):
        self.pointer([{'type': 'pointerMove', 'x': round(x), 'y': round(y)}])

    def click(self, x, y):
        self.pointer([{'type': 'pointerMove', 'x': round(x), 'y': round(y)},
                      {'type': 'pointerDown', 'button': 0}, {'type': 'pointerUp', 'button': 0}])
        self.settle()

    def tap(self, x, y):
        self.pointer([{'type': 'pointerMove', 'x': round(x), 'y': round(y)},
                      {'type': 'pointerDown', 'button': 0}, {'type': 'pointerUp', 'button': 0}],
                     'touch')
        self.settle()

    def keys(self, values):
        actions = []
        for value in values:
            actions += [{'type': 'keyDown', 'value': value}, {'type': 'keyUp', 'value': value}]
        self.send('input.performActions', {'context': self.context, 'actions': [{
            'type': 'key', 'id': 'keyboard', 'actions': actions}]})

    def type_text(self, text):
        self.keys(list(text))

    def press_enter(self):
        self.keys(['\ue007'])

    def screenshot_png(self):
        return base64.b64decode(self.send('browsingContext.captureScreenshot',
                                          {'context': self.context})['data'])


BROWSERS = {'chromium': Chromium, 'firefox': Firefox}


class Pixels:
    """An RGB(A) image, row by row."""

    def __init__(self, width, height, channels, data):
        self.width, self.height, self.channels, self.data = width, height, channels, data

    def at(self, x, y):
        i = (y * self.width + x) * self.channels
        return tuple(self.data[i:i + 3])


def decode_png(data):
    """The pixels of an 8-bit, non-interlaced RGB or RGBA PNG, as both browsers write them."""
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
