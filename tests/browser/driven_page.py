"""What the page's browser test does with a page in any browser, on top of what each browser
does its own way (chromium.py, firefox.py); and screenshots read as pixels."""

import json
import os
import struct
import subprocess
import time
import zlib

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
