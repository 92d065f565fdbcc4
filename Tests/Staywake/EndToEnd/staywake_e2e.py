#!/usr/bin/python3
"""The real Staywake binary on a private desktop (`Desktop`), for end-to-end tests.
  staywake_e2e.py run APP MODULE...          runs test modules of this folder
  staywake_e2e.py screenshot APP OUTPUT.png  saves the panel as opened from the tray
  staywake_e2e.py atspi-serve                answers process ids with their accessibility trees
"""

import collections
import contextlib
import ctypes
import json
import os
import plistlib
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
TESTS = os.path.dirname(HERE)
AT_SPI_LAUNCHER = '/usr/libexec/at-spi-bus-launcher'
APP_NAME = 'com.staywake.app'
SCREEN = (1280, 800)
DEADLINE = 20.0
SANITIZER_REPORT = re.compile(r'ERROR: (Address|Leak)Sanitizer|runtime error: ')
TOOLS = {'dbus-daemon': 'dbus', 'Xvfb': 'xvfb', 'trayer': 'trayer', 'xdotool': 'xdotool', 'xwininfo': 'x11-utils',
         'import': 'imagemagick', AT_SPI_LAUNCHER: 'at-spi2-core'}


def missing_requirement():
    """What this machine lacks to run the suite, or None."""
    for tool, package in TOOLS.items():
        if shutil.which(tool) is None:
            return f'{tool} is not installed (Debian package {package})'
    for module in ('dbus', 'dbusmock', 'pyatspi'):
        try:
            __import__(module)
        except ImportError:
            return f'the Python module {module} is missing for {sys.executable} (Debian package python3-{module})'
    return None


class EndToEndCase(unittest.TestCase):

    def open_desktop(self, **options):
        return self.enterContext(Desktop(**options))


def held_still(read, what):
    """Polls `read` until it gives the same true value twice in a row, which it returns."""
    last = [None]

    def same():
        previous, last[0] = last[0], read()
        return previous == last[0] and previous
    return eventually(same, what)


def eventually(check, what, timeout=DEADLINE, interval=0.05):
    """Polls `check` until it returns a true value, which it returns."""
    deadline = time.monotonic() + timeout
    while not (value := check()):
        if time.monotonic() > deadline:
            raise AssertionError(f'timed out after {timeout:.0f} s waiting for {what} (last: {value!r})')
        time.sleep(interval)
    return value


class Rect(collections.namedtuple('Rect', 'x y width height')):
    centre = property(lambda self: (self.x + self.width // 2, self.y + self.height // 2))


class _Xlib:
    """The two X requests no command-line tool makes: who owns a selection,
    and a window manager's polite close (WM_DELETE_WINDOW)."""

    def __init__(self, display):
        self.lib = ctypes.CDLL('libX11.so.6')
        self.lib.XOpenDisplay.restype = ctypes.c_void_p
        self.lib.XInternAtom.restype = ctypes.c_ulong
        self.lib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        self.lib.XGetSelectionOwner.restype = ctypes.c_ulong
        self.lib.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.lib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
        self.lib.XFlush.argtypes = self.lib.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.display = self.lib.XOpenDisplay(display.encode())
        if not self.display:
            raise RuntimeError(f'cannot open X display {display}')

    def atom(self, name):
        return self.lib.XInternAtom(self.display, name.encode(), 0)

    def selection_owner(self, name):
        return self.lib.XGetSelectionOwner(self.display, self.atom(name))

    def close_window(self, window):
        # XClientMessageEvent: type, serial, send_event, display, window, message_type, format, data.
        event = (ctypes.c_long * 24)(33, 0, 0, 0, window, self.atom('WM_PROTOCOLS'), 32,
                                     self.atom('WM_DELETE_WINDOW'))
        self.lib.XSendEvent(self.display, window, 0, 0, event)
        self.lib.XFlush(self.display)

    def close(self):
        self.lib.XCloseDisplay(self.display)


class App:

    def __init__(self, process):
        self.process = process
        self.pid = process.pid
        self.lines = []
        self._reader = threading.Thread(target=lambda: self.lines.extend(line.rstrip('\n') for line in process.stderr),
                                        daemon=True)
        self._reader.start()

    def output(self):
        return '\n'.join(self.lines)

    def wait_exit(self, timeout=DEADLINE):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired as error:
            raise AssertionError(f'the app (pid {self.pid}) did not exit within {timeout:.0f} s') from error

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=8)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self._reader.join(timeout=5)
        self.process.stderr.close()
        # ctest shows this only when the test failed.
        sys.stderr.write(f'--- the app (pid {self.pid}, status {self.process.returncode}) wrote:\n{self.output()}\n')


class Desktop:
    """One test's desktop session, none of it the host's: private buses with the
    services ../System/mock_buses.py mocks, Xvfb with a trayer tray, the
    accessibility bus, temporary XDG folders; leaving the `with` block ends every
    process it started. tray: the tray's screen edge ("top", "bottom") or None;
    session_bus: give the app one at all; polkit: polkitd's answer to the lid
    helper ("allow", ...); update_question: unless set, the settings say automatic
    update checks were declined before each launch, so that no question is in the way."""

    def __init__(self, tray='top', session_bus=True, polkit=None, update_question=False):
        self.tray, self.app_has_session_bus, self.update_question = tray, session_bus, update_question
        self.switches = ['--systemd'] + ([f'--polkit={polkit}'] if polkit else [])
        self.apps, self.x, self._children, self.stack = [], None, [], contextlib.ExitStack()

    def __enter__(self):
        try:
            self.folder = self.stack.enter_context(tempfile.TemporaryDirectory(prefix='staywake-e2e-'))
            for name in ('config', 'data', 'cache', 'runtime', 'home'):
                os.makedirs(os.path.join(self.folder, name), mode=0o700)
            self._start()
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, kind, *_):
        for app in reversed(self.apps):
            app.stop()
        if self.x is not None:
            self.x.close()  # before the server goes: Xlib ends the process on a lost server
        for process in reversed(self._children):
            _end(process)
        self.stack.close()
        # An app built with sanitizers fails the test by what it reported.
        reports = [line for app in self.apps for line in app.lines if SANITIZER_REPORT.search(line)]
        if reports and kind is None:
            raise AssertionError('the app reported:\n' + '\n'.join(reports))
        return False

    def spawn(self, arguments, **options):
        # Each child leads its own process group, so what it starts ends with it.
        for stream in ('stdin', 'stdout', 'stderr'):
            options.setdefault(stream, subprocess.DEVNULL)
        self._children.append(subprocess.Popen(arguments, start_new_session=True, **options))
        return self._children[-1]

    def _start(self):
        buses = self.spawn([sys.executable, os.path.join(TESTS, 'System', 'mock_buses.py'), *self.switches],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=None, text=True)
        line = buses.stdout.readline()
        if not line:
            raise RuntimeError(f'the mock buses did not start (status {buses.wait()})')
        addresses = json.loads(line)
        self.session_address, self.system_address = addresses['session'], addresses['system']
        import dbus  # pylint: disable=import-outside-toplevel
        self.session_bus = dbus.bus.BusConnection(self.session_address)
        self.system_bus = dbus.bus.BusConnection(self.system_address)
        self.stack.callback(self.session_bus.close)
        self.stack.callback(self.system_bus.close)

        read_end, write_end = os.pipe()
        self.spawn(['Xvfb', '-displayfd', str(write_end), '-screen', '0', f'{SCREEN[0]}x{SCREEN[1]}x24',
                     '-nolisten', 'tcp', '-noreset'], pass_fds=(write_end,))
        os.close(write_end)
        with os.fdopen(read_end) as numbers:
            self.display = ':' + numbers.readline().strip()
        if self.display == ':':
            raise RuntimeError('Xvfb did not start')
        self.x = _Xlib(self.display)
        if self.tray:
            self.spawn(['trayer', '--edge', self.tray, '--align', 'right', '--widthtype', 'request',
                         '--height', '24'], env=self.environment())
            eventually(lambda: self.x.selection_owner('_NET_SYSTEM_TRAY_S0'), 'trayer to own the tray')

        self.spawn([AT_SPI_LAUNCHER, '--launch-immediately'], env=self.environment())
        eventually(lambda: self.session_bus.name_has_owner('org.a11y.Bus'), 'the accessibility bus')
        # Listening before the app starts: a popup is found only by its events.
        self._watcher = self.spawn([sys.executable, os.path.abspath(__file__), 'atspi-serve'],
                                    env=self.environment(), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                    stderr=None, text=True)
        if self._watcher.stdout.readline().strip() != 'listening':
            raise RuntimeError('the accessibility watcher did not start')

    def environment(self, **extra):
        folder = lambda name: os.path.join(self.folder, name)  # noqa: E731
        return {**{key: value for key, value in os.environ.items()
                   if not key.startswith(('DBUS_', 'XDG_', 'QT_', 'LC_', 'WAYLAND', 'AT_SPI'))},
                'DISPLAY': getattr(self, 'display', ''), 'DBUS_SESSION_BUS_ADDRESS': self.session_address,
                'DBUS_SYSTEM_BUS_ADDRESS': self.system_address, 'XDG_CONFIG_HOME': folder('config'),
                'XDG_DATA_HOME': folder('data'), 'XDG_CACHE_HOME': folder('cache'),
                'XDG_RUNTIME_DIR': folder('runtime'), 'HOME': folder('home'), 'LANG': 'C.UTF-8', 'LANGUAGE': 'en',
                'QT_QPA_PLATFORM': 'xcb', 'QT_LINUX_ACCESSIBILITY_ALWAYS_ON': '1', 'QT_ACCESSIBILITY': '1', **extra}

    def launch(self, *arguments, wait_until_ready=True, wrapper=(), program=None, **environment):
        """Starts the app (`program`, else the built one) under `wrapper`, a
        command that execs it; by default waits until it owns its bus name and
        its tray icon is embedded, as far as the desktop has either."""
        if not self.app_has_session_bus:
            environment.setdefault('DBUS_SESSION_BUS_ADDRESS', 'unix:path=' + os.path.join(self.folder, 'none'))
        if 'ASAN_OPTIONS' in os.environ:
            # libxkbcommon-x11 strndup()s X atom names that carry no NUL, which
            # strict string checks take for an overflow; everything else stays checked.
            environment.setdefault('ASAN_OPTIONS', os.environ['ASAN_OPTIONS'] + ':strict_string_checks=0')
        with contextlib.suppress(Exception):  # an unreadable file: the case is about that
            if not self.update_question and 'SUEnableAutomaticChecks' not in self.settings():
                self.write_settings({**self.settings(), 'SUEnableAutomaticChecks': False})
        process = subprocess.Popen([*wrapper, program or os.environ['STAYWAKE_APP'], *arguments],
                                   env=self.environment(**environment), stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, errors='replace')
        app = App(process)
        self.apps.append(app)

        def ready():
            if process.poll() is not None:
                raise AssertionError(f'the app exited with {process.returncode}:\n{app.output()}')
            return ((not self.app_has_session_bus or self.session_bus.name_has_owner(APP_NAME))
                    and (not self.tray or self.tray_icon(app)))
        if wait_until_ready:
            eventually(ready, 'the app to own its bus name and show its tray icon')
        return app

    def settings_path(self):
        return os.path.join(self.folder, 'config', 'staywake', 'com.staywake.app.plist')

    def settings(self):
        with contextlib.suppress(FileNotFoundError), open(self.settings_path(), 'rb') as file:
            return plistlib.load(file)
        return {}

    def write_settings(self, values):
        """Writes the settings file: a dict as an XML property list, bytes as they are."""
        os.makedirs(os.path.dirname(self.settings_path()), exist_ok=True)
        with open(self.settings_path(), 'wb') as file:
            file.write(values if isinstance(values, bytes) else plistlib.dumps(values, fmt=plistlib.FMT_XML))

    def idle_locks(self):
        """logind's idle locks as (what, who, why, mode) tuples."""
        manager = self.system_bus.get_object('org.freedesktop.login1', '/org/freedesktop/login1')
        locks = manager.ListInhibitors(dbus_interface='org.freedesktop.login1.Manager')
        return [tuple(str(field) for field in lock[:4]) for lock in locks if lock[0] == 'idle']

    def run_x(self, *arguments):
        return subprocess.run(arguments, env=self.environment(), capture_output=True, text=True, check=False,
                              timeout=10).stdout

    def windows(self, app):
        """The app's viewable top-level and embedded windows: id to geometry."""
        found = {}
        for window in self.run_x('xdotool', 'search', '--onlyvisible', '--pid', str(app.pid)).split():
            shell = dict(re.findall(r'(\w+)=(-?\d+)', self.run_x('xdotool', 'getwindowgeometry', '--shell', window)))
            if {'X', 'Y', 'WIDTH', 'HEIGHT'} <= shell.keys():
                found[int(window)] = Rect(*(int(shell[key]) for key in ('X', 'Y', 'WIDTH', 'HEIGHT')))
        return found

    def tray_icon(self, app):
        """The app's icon in the tray: its window id and geometry, or None."""
        embedded, inside_tray = set(), None
        for line in self.run_x('xwininfo', '-root', '-tree').splitlines():
            match = re.match(r'^(\s*)(0x[0-9a-f]+) (?:"([^"]*)"|\(has no name\))', line)
            if not match:
                continue
            if match.group(3) == 'panel' and '"trayer"' in line:
                inside_tray = len(match.group(1))
            elif inside_tray is not None and len(match.group(1)) <= inside_tray:
                inside_tray = None
            elif inside_tray is not None:
                embedded.add(int(match.group(2), 16))
        return next(((window, rect) for window, rect in self.windows(app).items() if window in embedded), None)

    def panel(self, app):
        """The app's open panel (any viewable window of it but the tray icon): id and geometry, or None."""
        icon = self.tray_icon(app) if self.tray else None
        return next(((window, rect) for window, rect in self.windows(app).items()
                     if icon is None or window != icon[0]), None)

    def click(self, x, y, button=1):
        self.run_x('xdotool', 'mousemove', str(x), str(y), 'click', str(button))

    def key(self, name):
        self.run_x('xdotool', 'key', name)

    def open_panel(self, app):
        """Clicks the tray icon until the panel opens (the app ignores a click
        right after the panel closed: it took it for the closing click)."""
        _, icon = self.tray_icon(app)

        def opened():
            self.click(*icon.centre)
            with contextlib.suppress(AssertionError):
                return eventually(lambda: self.panel(app), 'the panel', timeout=3)
            return None
        return eventually(opened, 'the panel to open after a click on the tray icon')

    def close_panel(self, app):
        self.key('Escape')
        eventually(lambda: self.panel(app) is None, 'the panel to close')

    def menu(self, app, item):
        self.click(*self.tray_icon(app)[1].centre, button=3)
        self.press(app, item, 'menu item')

    def showing(self, app, name, role=None):
        """The app's showing accessible nodes with this name (a string or a compiled pattern) and role."""
        return [node for node in nodes(self.accessible(app)) if 'showing' in node['states']
                and (name.search(node['name']) if hasattr(name, 'search') else node['name'] == name)
                and role in (None, node['role'])]

    def find(self, app, name, role=None):
        return eventually(lambda: next(iter(self.showing(app, name, role)), None),
                          f'a showing {role or "node"} named {getattr(name, "pattern", name)!r}')

    def press(self, app, name, role='push button'):
        """Clicks the middle of a control once it is enabled and holds still (the panel animates its height)."""
        def extents():
            node = self.find(app, name, role)
            return 'enabled' in node['states'] and node['extents']
        x, y, width, height = held_still(extents, f'{name!r} to be enabled and hold still')
        self.click(x + width // 2, y + height // 2)

    def accessible(self, app):
        """What a screen reader reaches of the app: a root node whose children
        are the app's windows, popups included."""
        self._watcher.stdin.write(f'{app.pid}\n')
        self._watcher.stdin.flush()
        answer = self._watcher.stdout.readline()
        if not answer:
            raise RuntimeError('the accessibility watcher ended')
        return json.loads(answer)


def _end(process):
    with contextlib.suppress(ProcessLookupError):
        os.killpg(process.pid, signal.SIGTERM)
    try:
        process.wait(timeout=5)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
    with contextlib.suppress(ProcessLookupError, PermissionError):
        os.killpg(process.pid, signal.SIGKILL)  # whatever of the group outlived its leader
    for pipe in (process.stdin, process.stdout, process.stderr):
        with contextlib.suppress(OSError, AttributeError):
            pipe.close()


def nodes(tree):
    yield tree
    for child in tree['children']:
        yield from nodes(child)


def _atspi_serve():
    """Answers each process id read from standard input with one JSON line:
    that process's accessibility tree. Popups are no children of their
    application in the tree, so the windows events come from are remembered
    and added, as a screen reader finds them."""
    import pyatspi  # pylint: disable=import-outside-toplevel
    from gi.repository import Atspi, GLib  # pylint: disable=import-outside-toplevel
    windows = []

    def remember(event):
        with contextlib.suppress(Exception):
            window = event.source
            while window.parent is not None and window.parent.getRole() != pyatspi.ROLE_APPLICATION:
                window = window.parent
            if all(window != known for known in windows):
                windows.append(window)

    def describe(accessible, depth=0):
        # Unnamed containers only carry their children: each read is a bus call.
        node = {'name': accessible.name, 'role': accessible.getRoleName(), 'states': [], 'extents': None,
                'children': []}
        if node['name'] or depth == 0:
            node['states'] = sorted(pyatspi.stateToString(state) for state in accessible.getState().getStates())
            extents = accessible.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            node['extents'] = [extents.x, extents.y, extents.width, extents.height]
        if depth < 40:
            node['children'] = [describe(child, depth + 1) for child in accessible if child is not None]
        return node

    def tree(pid):
        found = []
        for application in pyatspi.Registry.getDesktop(0):
            with contextlib.suppress(Exception):
                if application is not None and application.get_process_id() == pid:
                    # Every answer reads the app afresh: it does not announce every change.
                    application.set_cache_mask(Atspi.Cache.NONE)
                    application.clear_cache()
                    found += [child for child in application if child is not None]
        for window in windows:
            with contextlib.suppress(Exception):  # hidden popups stay known but are not shown
                window.clear_cache()
                if window.get_process_id() == pid and all(window != known for known in found) \
                        and window.getState().contains(pyatspi.STATE_SHOWING):
                    found.append(window)
        children = []
        for window in found:
            with contextlib.suppress(Exception):  # a window that went away meanwhile
                children.append(describe(window))
        return {'name': '', 'role': 'root', 'states': [], 'children': children}

    def answer(source, _condition):
        line = source.readline()
        if not line:
            pyatspi.Registry.stop()
            return False
        sys.stdout.write(json.dumps(tree(int(line))) + '\n')
        sys.stdout.flush()
        return True

    pyatspi.Registry.registerEventListener(remember, 'object:state-changed:focused', 'window:activate',
                                           'object:state-changed:showing', 'focus:')
    GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, answer)
    print('listening', flush=True)
    pyatspi.Registry.start()


def _screenshot(output):
    """Opens the panel from the tray on a private desktop and saves it, cropped once it holds still."""
    os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
    with Desktop() as desktop:
        app = desktop.launch()
        desktop.open_panel(app)
        rect = held_still(lambda: desktop.panel(app)[1], 'the panel to stop moving')
        subprocess.run(['import', '-window', 'root', '-crop', f'{rect.width}x{rect.height}+{rect.x}+{rect.y}',
                        '+repage', output], env=desktop.environment(), check=True, timeout=30)


def _require(app_path):
    """A machine that lacks a tool skips in one line (exit status 77), or
    fails under STAYWAKE_NO_SKIP."""
    os.environ['STAYWAKE_APP'] = app_path
    reason = missing_requirement()
    if reason is None and not os.access(app_path, os.X_OK):
        reason = f'the Staywake app binary is not built: {app_path!r}'
    if reason is not None:
        print(f'expected to run, but: {reason}' if os.environ.get('STAYWAKE_NO_SKIP') else f'SKIPPED: {reason}')
        sys.exit(1 if os.environ.get('STAYWAKE_NO_SKIP') else 77)


if __name__ == '__main__':
    sys.dont_write_bytecode = True  # nothing lands in the source folder
    if len(sys.argv) == 2 and sys.argv[1] == 'atspi-serve':
        _atspi_serve()
    elif len(sys.argv) >= 4 and sys.argv[1] == 'run':
        _require(sys.argv[2])
        sys.path.insert(0, HERE)
        result = unittest.main(module=None, argv=[sys.argv[0], '-v', *sys.argv[3:]], exit=False).result
        sys.exit(0 if result.wasSuccessful() else 1)
    elif len(sys.argv) == 4 and sys.argv[1] == 'screenshot':
        _require(sys.argv[2])
        _screenshot(sys.argv[3])
    else:
        sys.exit(__doc__)
