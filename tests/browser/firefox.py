"""Firefox for the page's browser test, driven through WebDriver BiDi, on a private Xvfb
display: headless, Firefox finds no WebGL driver on a machine without a GPU (Debian's
firefox-esr, xvfb and python3-websocket)."""

import base64
import json
import math
import os
import shutil
import subprocess
import tempfile
import time

import websocket

from driven_page import HEIGHT, WIDTH, Page, stop


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

    # BiDi takes whole pixels: the one that holds the point, as Chromium takes it too.
    def move(self, x, y):
        self.pointer([{'type': 'pointerMove', 'x': math.floor(x), 'y': math.floor(y)}])

    def click(self, x, y):
        self.pointer([{'type': 'pointerMove', 'x': math.floor(x), 'y': math.floor(y)},
                      {'type': 'pointerDown', 'button': 0}, {'type': 'pointerUp', 'button': 0}])
        self.settle()

    def tap(self, x, y):
        self.pointer([{'type': 'pointerMove', 'x': math.floor(x), 'y': math.floor(y)},
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
