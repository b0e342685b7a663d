"""Chromium for the page's browser test: headless, WebGL through SwiftShader, driven through the
DevTools protocol (Debian's chromium and python3-websocket)."""

import base64
import json
import os
import shutil
import subprocess
import tempfile

import websocket

from driven_page import HEIGHT, WIDTH, Page, stop, wait_for_file


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
            # "copy" writes to the clipboard, and the test reads it back.
            self.send('Browser.grantPermissions', {'permissions': [
                'clipboardReadWrite', 'clipboardSanitizedWrite']}, browser=True)
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
