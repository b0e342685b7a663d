"""What the page's browser test needs around a browser: running the build's commands, reading
the face table, telling colours apart in a screenshot, and pointing, searching and opening
pages as a user would."""

import json
import os
import subprocess
import time

# The SVG picture's colours (src/faces/picture_style.cpp), which the page must use too.
COLOURS = {'force': (0xd5, 0x5e, 0x00), 'restraint': (0x00, 0x72, 0xb2),
           'both': (0x8e, 0x3f, 0xa8), 'stripe': (0xdc, 0xc3, 0xe8), 'other': (0xd2, 0xd2, 0xd2)}

failures = []


def expect(condition, message):
    """Prints the check and counts a failure; the test goes on to the next check."""
    print(('ok    ' if condition else 'FAIL  ') + message, flush=True)
    if not condition:
        failures.append(message)


def run(command, **kwargs):
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                            **kwargs)
    if result.returncode != 0:
        raise RuntimeError('%s exited with %d:\n%s' % (command[0], result.returncode,
                                                       result.stderr[-2000:]))
    return result.stdout


def read_table(text):
    lines = text.splitlines()
    names = lines[0].split('\t')
    return {int(cells[0]): dict(zip(names, cells)) for cells in
            (line.split('\t') for line in lines[1:])}


def is_shade_of(pixel, colour):
    """Whether `pixel` is `colour` lit more or less brightly, as the shading makes it."""
    k = sum(p * c for p, c in zip(pixel, colour)) / sum(c * c for c in colour)
    return 0.45 <= k <= 1.15 and max(abs(p - k * c) for p, c in zip(pixel, colour)) <= 18


def share_around(pixels, x, y, colour, reach=3):
    """The share of the pixels within `reach` of (x, y) that are shades of `colour`."""
    hits = total = 0
    for j in range(int(y) - reach, int(y) + reach + 1):
        for i in range(int(x) - reach, int(x) + reach + 1):
            total += 1
            hits += is_shade_of(pixels.at(i, j), colour)
    return hits / total


def label_point(browser, row):
    """Where the face's label point appears on screen, in CSS pixels."""
    p = browser.evaluate('facePage.project(%s, %s, %s)' % (row['px'], row['py'], row['pz']))
    return p['x'], p['y']


def pointed_face(browser, x, y):
    """The face number that the panel shows with the pointer at (x, y), or '' for none."""
    browser.move(x, y)
    browser.settle()
    browser.settle()
    return browser.evaluate("document.getElementById('face-panel').hidden ? '' : "
                            "document.getElementById('face-number').textContent")


def search(browser, text):
    """Types `text` into the search box and presses Enter."""
    browser.evaluate("document.getElementById('search-box').value = ''")
    browser.click_element('#search-box')
    browser.type_text(text)
    browser.press_enter()
    browser.settle()
    return browser.evaluate("document.getElementById('message').textContent")


def open_page(browser, page):
    """Opens the page from disk and returns how long it took until it was drawn."""
    start = time.time()
    browser.navigate('file://' + page)
    browser.wait_for('window.facePage && window.facePage.ready')
    browser.settle()
    return time.time() - start


def clear_search(browser):
    """Takes the highlight off a face found, and the pointer off the model."""
    search(browser, '')
    browser.move(5, 5)
    browser.settle()


def fill(browser, selector, text):
    """Empties the box that `selector` names, then clicks it and types `text`, as a user would."""
    browser.evaluate("(() => { const box = document.querySelector(%s); box.value = ''; "
                     "box.dispatchEvent(new Event('input', {bubbles: true})); })()"
                     % json.dumps(selector))
    browser.click_element(selector)
    if text:
        browser.type_text(text)
    browser.settle()


def download(browser, selector, path):
    """Clicks a download button and returns the bytes of the file it saves at `path`, which is
    then removed for the next download of the same name (None when none came)."""
    browser.click_element(selector)
    deadline = time.time() + 30
    while not os.path.exists(path) and time.time() < deadline:
        time.sleep(0.1)
    if not os.path.exists(path):
        return None
    time.sleep(0.2)  # renamed into place once whole, but let the browser let go of it
    content = open(path, 'rb').read()
    os.remove(path)
    return content
