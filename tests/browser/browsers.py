"""The browsers the page's browser test runs in, by name: Chromium through the DevTools protocol,
Firefox through WebDriver BiDi. Each opens one page, keeps its console errors and exceptions,
and takes screenshots (driven_page.Page says what the test can do with them)."""

from chromium import Chromium
from firefox import Firefox

BROWSERS = {'chromium': Chromium, 'firefox': Firefox}
