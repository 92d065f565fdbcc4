#!/usr/bin/python3
"""Measures how long a click on the tray icon takes to bring up something
painted: Staywake's panel against a plain QMenu that MinimalTray pops up, each
on a private desktop as the end-to-end tests set it up.

The click is an XTest press and release on the icon; from then the screen is
polled until a new top-level window is viewable and the pixels inside it are
no longer those that were there before the click. Prints one JSON object per
app with the p50 and max over the opens, in ms.

  panel_open.py --app PATH --minimal PATH [--opens N]
"""

import argparse
import json
import os
import statistics
import sys
import time

from Xlib import X, XK, display as xdisplay
from Xlib.ext import xtest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.dont_write_bytecode = True
import idle_cost  # noqa: E402  pylint: disable=wrong-import-position
from idle_cost import staywake_e2e  # noqa: E402  pylint: disable=wrong-import-position

SMALLEST = 60  # px high: a tooltip is not what the click opens
CLOSED_FOR = 0.5  # s: the panel takes a click right after it closed for the closing one
LIMIT = 10.0


class Screen:
    def __init__(self, name):
        self.display = xdisplay.Display(name)
        self.root = self.display.screen().root
        geometry = self.root.get_geometry()
        self.width, self.height = geometry.width, geometry.height

    def image(self, x, y, width, height):
        return self.root.get_image(x, y, width, height, X.ZPixmap, 0xffffffff).data

    def viewable(self):
        """The viewable top-level windows, with their geometry."""
        found = {}
        for window in self.root.query_tree().children:
            try:
                if window.get_attributes().map_state == X.IsViewable:
                    geometry = window.get_geometry()
                    found[window.id] = (geometry.x, geometry.y, geometry.width, geometry.height)
            except Exception:  # pylint: disable=broad-except  (gone meanwhile)
                pass
        return found

    def click(self, x, y):
        xtest.fake_input(self.display, X.MotionNotify, x=x, y=y)
        self.display.sync()
        started = time.perf_counter()
        xtest.fake_input(self.display, X.ButtonPress, 1)
        xtest.fake_input(self.display, X.ButtonRelease, 1)
        self.display.sync()
        return started

    def key(self, name):
        code = self.display.keysym_to_keycode(XK.string_to_keysym(name))
        xtest.fake_input(self.display, X.KeyPress, code)
        xtest.fake_input(self.display, X.KeyRelease, code)
        self.display.sync()


def crop(screen_image, width, rect):
    x, y, w, h = rect
    return b''.join(screen_image[(row * width + x) * 4:(row * width + x + w) * 4] for row in range(y, y + h))


def open_once(screen, icon):
    """Seconds from the click until the opened window shows painted pixels;
    closes it again."""
    before_windows = screen.viewable()
    before = screen.image(0, 0, screen.width, screen.height)
    started = screen.click(*icon.centre)
    opened = None
    while time.perf_counter() - started < LIMIT:
        new = [rect for window, rect in screen.viewable().items()
               if window not in before_windows and rect[3] >= SMALLEST]
        if new:
            x, y, w, h = new[0]
            x, y = max(x, 0), max(y, 0)
            w, h = min(w, screen.width - x), min(h, screen.height - y)
            if screen.image(x, y, w, h) != crop(before, screen.width, (x, y, w, h)):
                opened = time.perf_counter() - started
                break
        time.sleep(0.001)
    if opened is None:
        raise RuntimeError('nothing opened on a click on the tray icon')
    screen.key('Escape')
    deadline = time.monotonic() + LIMIT
    while set(screen.viewable()) - set(before_windows) and time.monotonic() < deadline:
        time.sleep(0.01)
    time.sleep(CLOSED_FOR)
    return opened


def measure(binary, opens):
    with staywake_e2e.Desktop() as desktop:
        app, _ = idle_cost.launch(desktop, binary)
        _, icon = desktop.tray_icon(app)
        screen = Screen(desktop.display)
        time.sleep(1.0)  # past start-up work
        try:
            seconds = [open_once(screen, icon) for _ in range(opens)]
        finally:
            screen.display.close()
    return {'panel_open_p50_ms': 1000 * statistics.median(seconds), 'panel_open_max_ms': 1000 * max(seconds),
            'panel_opens': opens}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--app', required=True)
    parser.add_argument('--minimal', required=True)
    parser.add_argument('--opens', type=int, default=20)
    options = parser.parse_args()
    os.environ['STAYWAKE_APP'] = options.app
    reason = staywake_e2e.missing_requirement()
    if reason:
        sys.exit(f'cannot measure: {reason}')
    for name, binary in (('MinimalTray menu', options.minimal), ('Staywake panel', options.app)):
        print(json.dumps({'name': name, **measure(binary, options.opens)}), flush=True)


if __name__ == '__main__':
    main()
