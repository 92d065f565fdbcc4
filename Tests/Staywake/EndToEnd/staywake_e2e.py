#!/usr/bin/python3
"""Runs the real Staywake binary on a private desktop, for end-to-end tests.

A `Desktop` gives one test everything the app meets on a user's machine, none
of it the host's own: a private system bus with mocked logind (its Inhibit
hands out a real descriptor and ListInhibitors lists the lock until every copy
is closed), UPower and systemd; a private session bus with the desktop portal
(and a notification daemon when asked); an Xvfb server on a free display with
a trayer XEmbed tray; the accessibility bus a screen reader reads; temporary
configuration, data and runtime folders. `Desktop.launch()` starts the app in
it and collects its standard error. Every wait polls real state (bus, X
server, accessibility tree, files) against a deadline. Leaving the `with`
block stops and reaps every process it started, whatever happened.

Run as a program it runs test modules of this folder, or regenerates the
panel screenshot:
  staywake_e2e.py run APP MODULE...
  staywake_e2e.py screenshot APP OUTPUT.png
and, for the harness itself, `staywake_e2e.py atspi-serve` answers process ids
with their accessibility trees as JSON (pyatspi binds to one session bus per
process, so the queries run in a child on the desktop's bus).
"""

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
MOCK_BUSES = os.path.join(TESTS, 'System', 'mock_buses.py')
AT_SPI_LAUNCHER = '/usr/libexec/at-spi-bus-launcher'
APP_NAME = 'com.staywake.app'
SCREEN = (1280, 800)
SETTINGS = ('staywake', 'com.staywake.app.plist')
DEADLINE = 20.0
SANITIZER_REPORT = re.compile(r'ERROR: (Address|Leak)Sanitizer|runtime error: ')

TOOLS = {
    'dbus-daemon': 'dbus', 'Xvfb': 'xvfb', 'trayer': 'trayer', 'xdotool': 'xdotool',
    'xwininfo': 'x11-utils', 'import': 'imagemagick',
}


def missing_requirement():
    """What this machine lacks to run the suite, or None."""
    for tool, package in TOOLS.items():
        if shutil.which(tool) is None:
            return f'{tool} is not installed (Debian package {package})'
    if not os.access(AT_SPI_LAUNCHER, os.X_OK):
        return f'{AT_SPI_LAUNCHER} is missing (Debian package at-spi2-core)'
    for module, package in (('dbus', 'python3-dbus'), ('dbusmock', 'python3-dbusmock'),
                            ('pyatspi', 'python3-pyatspi')):
        try:
            __import__(module)
        except ImportError:
            return f'the Python module {module} is missing for {sys.executable} (Debian package {package})'
    return None


class EndToEndCase(unittest.TestCase):
    """Base of every end-to-end case."""

    def open_desktop(self, **options):
        """A fresh Desktop, torn down when the test ends."""
        return self.enterContext(Desktop(**options))


def eventually(check, what, timeout=DEADLINE, interval=0.05):
    """Polls `check` until it returns a true value, which it returns; fails
    with `what` and the last value once the deadline has passed."""
    deadline = time.monotonic() + timeout
    while True:
        value = check()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f'timed out after {timeout:.0f} s waiting for {what} (last: {value!r})')
        time.sleep(interval)


class Rect:
    def __init__(self, x, y, width, height):
        self.x, self.y, self.width, self.height = int(x), int(y), int(width), int(height)

    @property
    def right(self):
        return self.x + self.width

    @property
    def bottom(self):
        return self.y + self.height

    @property
    def centre(self):
        return self.x + self.width // 2, self.y + self.height // 2

    def __repr__(self):
        return f'{self.width}x{self.height}+{self.x}+{self.y}'


class _ClientMessage(ctypes.Structure):
    _fields_ = [('type', ctypes.c_int), ('serial', ctypes.c_ulong), ('send_event', ctypes.c_int),
                ('display', ctypes.c_void_p), ('window', ctypes.c_ulong),
                ('message_type', ctypes.c_ulong), ('format', ctypes.c_int), ('data', ctypes.c_long * 5)]


class _XEvent(ctypes.Union):
    _fields_ = [('message', _ClientMessage), ('pad', ctypes.c_long * 24)]


class _Xlib:
    """The two X requests no command-line tool makes: who owns a selection,
    and a window manager's polite close (WM_DELETE_WINDOW)."""

    def __init__(self, display):
        self.lib = ctypes.CDLL('libX11.so.6')
        self.lib.XOpenDisplay.restype = ctypes.c_void_p
        self.lib.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.lib.XInternAtom.restype = ctypes.c_ulong
        self.lib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        self.lib.XGetSelectionOwner.restype = ctypes.c_ulong
        self.lib.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.lib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                        ctypes.c_void_p]
        self.lib.XFlush.argtypes = [ctypes.c_void_p]
        self.lib.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.display = self.lib.XOpenDisplay(display.encode())
        if not self.display:
            raise RuntimeError(f'cannot open X display {display}')

    def atom(self, name):
        return self.lib.XInternAtom(self.display, name.encode(), 0)

    def selection_owner(self, name):
        return self.lib.XGetSelectionOwner(self.display, self.atom(name))

    def close_window(self, window):
        event = _XEvent()
        event.message.type = 33  # ClientMessage
        event.message.window = window
        event.message.message_type = self.atom('WM_PROTOCOLS')
        event.message.format = 32
        event.message.data[0] = self.atom('WM_DELETE_WINDOW')
        self.lib.XSendEvent(self.display, window, 0, 0, ctypes.byref(event))
        self.lib.XFlush(self.display)

    def close(self):
        self.lib.XCloseDisplay(self.display)


class App:
    """One running app process; standard error is collected as it comes."""

    def __init__(self, process):
        self.process = process
        self.lines = []
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        for line in self.process.stderr:
            self.lines.append(line.rstrip('\n'))

    @property
    def pid(self):
        return self.process.pid

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
        sys.stderr.write(f'--- the app (pid {self.pid}, status {self.process.returncode}) wrote:\n'
                         f'{self.output()}\n')


class Desktop:
    """A private desktop session for one test (see the module's text).

    tray: the screen edge of a trayer tray ("top", "bottom"), or None for no
    tray host; system_bus, session_bus: give the app such a bus at all;
    without: mocks left off ("logind", "upower", "portal", "systemd");
    notifications: put a notification daemon mock on the session bus;
    polkit: start polkitd answering the lid helper's action so ("allow", ...);
    update_question: let a second launch ask whether to check for updates
    (otherwise the settings say it was answered "no" before the app starts,
    since most cases relaunch the app and the question would be in their way)."""

    def __init__(self, tray='top', system_bus=True, session_bus=True, without=(), notifications=False,
                 polkit=None, update_question=False):
        self.tray = tray
        self.update_question = update_question
        self.system_bus = system_bus
        self.app_has_session_bus = session_bus
        self.without = set(without)
        self.notification_daemon = notifications
        self.polkit = polkit
        self.apps = []
        self.x = None
        self._watcher = None
        self._children = []
        self._stack = contextlib.ExitStack()

    # Setting up and tearing down.

    def __enter__(self):
        try:
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
            self.x = None
        for process in reversed(self._children):
            self._end(process)
        self._children.clear()
        self._stack.close()
        # An app built with sanitizers fails the test by what it reported.
        reports = [line for app in self.apps for line in app.lines if SANITIZER_REPORT.search(line)]
        if reports and kind is None:
            raise AssertionError('the app reported:\n' + '\n'.join(reports))
        return False

    def _spawn(self, arguments, **options):
        # Each child leads its own process group, so helpers it starts (the
        # accessibility bus's daemon) end with it.
        options.setdefault('stdin', subprocess.DEVNULL)
        options.setdefault('stdout', subprocess.DEVNULL)
        options.setdefault('stderr', subprocess.DEVNULL)
        process = subprocess.Popen(arguments, start_new_session=True, **options)
        self._children.append(process)
        return process

    @staticmethod
    def _end(process):
        with contextlib.suppress(ProcessLookupError):
            if process.poll() is None:
                os.killpg(process.pid, signal.SIGTERM)
        try:
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            with contextlib.suppress(ProcessLookupError):
                os.killpg(process.pid, signal.SIGKILL)
            process.wait()
        with contextlib.suppress(ProcessLookupError, PermissionError):
            os.killpg(process.pid, signal.SIGKILL)  # whatever of the group outlived its leader
        for pipe in (process.stdin, process.stdout, process.stderr):
            if pipe is not None:
                with contextlib.suppress(OSError):
                    pipe.close()

    def _start(self):
        self.folder = self._stack.enter_context(tempfile.TemporaryDirectory(prefix='staywake-e2e-'))
        for name in ('config', 'data', 'cache', 'runtime', 'home'):
            os.makedirs(os.path.join(self.folder, name), mode=0o700)
        self._start_buses()
        self._start_x()
        self._start_accessibility()

    def _start_buses(self):
        without = {'logind', 'upower'} if not self.system_bus else set()
        without |= self.without & {'logind', 'upower', 'portal'}
        switches = ['--systemd'] if self.system_bus and 'systemd' not in self.without else []
        switches += ['--notifications'] if self.notification_daemon else []
        switches += [f'--polkit={self.polkit}'] if self.polkit else []
        buses = self._spawn([sys.executable, MOCK_BUSES, '--without', ','.join(sorted(without)), *switches],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=None, text=True)
        line = buses.stdout.readline()
        if not line:
            raise RuntimeError(f'the mock buses did not start (status {buses.wait()})')
        addresses = json.loads(line)
        self.session_address = addresses['session']
        self.mock_system_address = addresses['system']
        self.system_address = (addresses['system'] if self.system_bus
                               else 'unix:path=' + os.path.join(self.folder, 'no-system-bus'))
        import dbus  # pylint: disable=import-outside-toplevel
        self.session_bus = dbus.bus.BusConnection(self.session_address)
        self.mock_system_bus = dbus.bus.BusConnection(self.mock_system_address)
        self._stack.callback(self.session_bus.close)
        self._stack.callback(self.mock_system_bus.close)

    def _start_x(self):
        read_end, write_end = os.pipe()
        try:
            self._spawn(['Xvfb', '-displayfd', str(write_end), '-screen', '0', f'{SCREEN[0]}x{SCREEN[1]}x24',
                         '-nolisten', 'tcp', '-noreset'], pass_fds=(write_end,))
            os.close(write_end)
            write_end = None
            with os.fdopen(read_end) as numbers:
                read_end = None
                number = numbers.readline().strip()
        finally:
            for end in (read_end, write_end):
                if end is not None:
                    os.close(end)
        if not number:
            raise RuntimeError('Xvfb did not start')
        self.display = f':{number}'
        self.x = _Xlib(self.display)
        if self.tray:
            self._spawn(['trayer', '--edge', self.tray, '--align', 'right', '--widthtype', 'request',
                         '--height', '24'], env=self.environment())
            eventually(lambda: self.x.selection_owner('_NET_SYSTEM_TRAY_S0'), 'trayer to own the tray')

    def _start_accessibility(self):
        self._spawn([AT_SPI_LAUNCHER, '--launch-immediately'], env=self.environment())
        eventually(lambda: self.session_bus.name_has_owner('org.a11y.Bus'), 'the accessibility bus')
        # Listening before the app starts: a popup is found only by its events.
        self._watcher = self._spawn([sys.executable, os.path.abspath(__file__), 'atspi-serve'],
                                    env=self.environment(), stdin=subprocess.PIPE,
                                    stdout=subprocess.PIPE, stderr=None, text=True)
        if self._watcher.stdout.readline().strip() != 'listening':
            raise RuntimeError('the accessibility watcher did not start')

    def environment(self, **extra):
        """The environment of a process on this desktop, the app's included."""
        environment = {key: value for key, value in os.environ.items()
                       if not key.startswith(('DBUS_', 'XDG_', 'QT_', 'LC_', 'WAYLAND', 'AT_SPI'))}
        environment.update(
            DISPLAY=self.display if hasattr(self, 'display') else '',
            DBUS_SESSION_BUS_ADDRESS=self.session_address,
            DBUS_SYSTEM_BUS_ADDRESS=self.system_address,
            XDG_CONFIG_HOME=os.path.join(self.folder, 'config'),
            XDG_DATA_HOME=os.path.join(self.folder, 'data'),
            XDG_CACHE_HOME=os.path.join(self.folder, 'cache'),
            XDG_RUNTIME_DIR=os.path.join(self.folder, 'runtime'),
            HOME=os.path.join(self.folder, 'home'),
            LANG='C.UTF-8', LANGUAGE='en',
            QT_QPA_PLATFORM='xcb', QT_LINUX_ACCESSIBILITY_ALWAYS_ON='1',
            QT_ACCESSIBILITY='1')
        environment.update(extra)
        return environment

    # The app.

    def launch(self, *arguments, wait_until_ready=True, wrapper=(), **environment):
        """Starts the app binary (under `wrapper`, a command that execs it);
        by default waits until it owns its bus name (if it has a session bus)
        and, with a tray, its icon is embedded."""
        if not self.app_has_session_bus:
            environment.setdefault('DBUS_SESSION_BUS_ADDRESS',
                                   'unix:path=' + os.path.join(self.folder, 'no-session-bus'))
        if 'ASAN_OPTIONS' in os.environ:
            # libxkbcommon-x11 strndup()s X atom names that carry no NUL, which
            # strict string checks take for an overflow; everything else stays checked.
            environment.setdefault('ASAN_OPTIONS', os.environ['ASAN_OPTIONS'] + ':strict_string_checks=0')
        if not self.update_question:
            self._answer_the_update_question()
        process = subprocess.Popen([*wrapper, os.environ['STAYWAKE_APP'], *arguments], env=self.environment(**environment),
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.PIPE, text=True, errors='replace')
        app = App(process)
        self.apps.append(app)
        if wait_until_ready:
            def ready():
                if process.poll() is not None:
                    raise AssertionError(f'the app exited with {process.returncode}:\n{app.output()}')
                return ((not self.app_has_session_bus or self.session_bus.name_has_owner(APP_NAME))
                        and (not self.tray or self.tray_icon(app)))
            eventually(ready, 'the app to own its bus name and show its tray icon')
        return app

    def _answer_the_update_question(self):
        try:
            settings = self.settings()
        except Exception:  # not a property list: the case is about that
            return
        if settings.get('SUHasLaunchedBefore') and 'SUEnableAutomaticChecks' not in settings:
            self.write_settings({**settings, 'SUEnableAutomaticChecks': False})

    def settings_path(self):
        return os.path.join(self.folder, 'config', *SETTINGS)

    def settings(self):
        try:
            with open(self.settings_path(), 'rb') as file:
                return plistlib.load(file)
        except FileNotFoundError:
            return {}

    def write_settings(self, values):
        """Writes the settings file: a dict as an XML property list, bytes as they are."""
        os.makedirs(os.path.dirname(self.settings_path()), exist_ok=True)
        with open(self.settings_path(), 'wb') as file:
            if isinstance(values, bytes):
                file.write(values)
            else:
                plistlib.dump(values, file, fmt=plistlib.FMT_XML)

    # The buses.

    def inhibitors(self):
        """logind's locks as (what, who, why, mode) tuples."""
        manager = self.mock_system_bus.get_object('org.freedesktop.login1', '/org/freedesktop/login1')
        return [tuple(str(field) for field in lock[:4])
                for lock in manager.ListInhibitors(dbus_interface='org.freedesktop.login1.Manager')]

    def notifications(self):
        """The desktop notifications the app sent: (summary, body) pairs."""
        daemon = self.session_bus.get_object('org.freedesktop.Notifications', '/org/freedesktop/Notifications')
        return [(str(arguments[3]), str(arguments[4]))
                for _, method, arguments in daemon.GetCalls(dbus_interface='org.freedesktop.DBus.Mock')
                if method == 'Notify']

    # The X server.

    def _x(self, *arguments):
        result = subprocess.run(arguments, env=self.environment(), capture_output=True, text=True,
                                check=False, timeout=10)
        return result.stdout

    def windows(self, app):
        """The app's viewable top-level and embedded windows: id to geometry."""
        found = {}
        for window in self._x('xdotool', 'search', '--onlyvisible', '--pid', str(app.pid)).split():
            shell = dict(re.findall(r'(\w+)=(-?\d+)', self._x('xdotool', 'getwindowgeometry', '--shell', window)))
            if {'X', 'Y', 'WIDTH', 'HEIGHT'} <= shell.keys():
                found[int(window)] = Rect(shell['X'], shell['Y'], shell['WIDTH'], shell['HEIGHT'])
        return found

    def tray_icon(self, app):
        """The app's icon in the tray: its window id and geometry, or None."""
        tree = self._x('xwininfo', '-root', '-tree')
        embedded = set()
        inside_tray = None
        for line in tree.splitlines():
            match = re.match(r'^(\s*)(0x[0-9a-f]+) (?:"([^"]*)"|\(has no name\))', line)
            if not match:
                continue
            depth = len(match.group(1))
            if match.group(3) == 'panel' and '"trayer"' in line:
                inside_tray = depth
            elif inside_tray is not None and depth <= inside_tray:
                inside_tray = None
            elif inside_tray is not None:
                embedded.add(int(match.group(2), 16))
        icons = [(window, rect) for window, rect in self.windows(app).items() if window in embedded]
        return icons[0] if icons else None

    def panel(self, app):
        """The geometry of the app's open panel (any viewable window of the
        app other than its tray icon), or None."""
        icon = self.tray_icon(app) if self.tray else None
        others = [(window, rect) for window, rect in self.windows(app).items()
                  if icon is None or window != icon[0]]
        return others[0] if others else None

    def click(self, x, y, button=1):
        self._x('xdotool', 'mousemove', str(x), str(y), 'click', str(button))

    def key(self, name):
        self._x('xdotool', 'key', name)

    def pixels(self, rect):
        """The screen's raw RGB bytes inside `rect`."""
        return subprocess.run(['import', '-window', 'root', '-crop', f'{rect.width}x{rect.height}+{rect.x}+{rect.y}',
                               '+repage', 'rgb:-'], env=self.environment(), check=True, timeout=30,
                              capture_output=True).stdout

    def window_name(self, window):
        return self._x('xdotool', 'getwindowname', str(window)).strip()

    # The app's surfaces, as the user reaches them.

    def open_panel(self, app):
        """Clicks the tray icon until the panel opens (the app ignores a click
        that comes right after the panel closed: it took it for the closing
        click); returns the panel's window id and geometry."""
        _, icon = self.tray_icon(app)
        def opened():
            self.click(*icon.centre)
            with contextlib.suppress(AssertionError):
                return eventually(lambda: self.panel(app), 'the panel', timeout=3)
            return None
        return eventually(opened, 'the panel to open after a click on the tray icon')

    def panel_tree(self, app):
        """The accessibility node of the app's showing window (the panel)."""
        windows = [window for window in self.accessible(app)['children'] if 'showing' in window['states']]
        return windows[0] if len(windows) == 1 else None

    def control(self, app, name, role=None):
        """The showing node of the panel with this name (a string or a compiled
        pattern) and, if given, role; waits until there is exactly one."""
        def matching():
            tree = self.panel_tree(app)
            found = [node for node in nodes(tree) if 'showing' in node['states']
                     and (name.search(node['name']) if hasattr(name, 'search') else node['name'] == name)
                     and (role is None or node['role'] == role)]
            return found[0] if len(found) == 1 else None
        return eventually(matching, f'one {role or "element"} named {getattr(name, "pattern", name)!r} in the panel')

    def press(self, app, name, role='push button'):
        """Clicks the middle of the panel's control with this name."""
        x, y, width, height = self.control(app, name, role)['extents']
        self.click(x + width // 2, y + height // 2)

    def tray_label(self, app):
        """The tray item's tooltip as the accessibility tree shows it while the
        pointer rests on the icon (the XEmbed icon itself is no node there)."""
        _, icon = self.tray_icon(app)
        def hovered():
            self._x('xdotool', 'mousemove', '0', str(SCREEN[1] - 1))
            self._x('xdotool', 'mousemove', str(icon.x + 2), str(icon.y + 2))
            self._x('xdotool', 'mousemove_relative', '2', '2')  # tooltips start on motion
            def tooltip():
                tips = [node for node in nodes(self.accessible(app)) if node['role'] == 'tool tip'
                        and 'showing' in node['states']]
                return tips[0]['name'] if tips else None
            with contextlib.suppress(AssertionError):
                return eventually(tooltip, 'the tooltip', timeout=3)
            return None
        return eventually(hovered, 'the tray icon\'s tooltip')

    def close_window(self, window):
        self.x.close_window(window)

    def screenshot(self, path, rect=None):
        arguments = ['import', '-window', 'root']
        if rect is not None:
            arguments += ['-crop', f'{rect.width}x{rect.height}+{rect.x}+{rect.y}', '+repage']
        subprocess.run([*arguments, path], env=self.environment(), check=True, timeout=30,
                       capture_output=True)

    # The accessibility tree.

    def accessible(self, app):
        """What a screen reader can reach of the app: a root node whose
        children are the app's windows, popups included (see _atspi_serve)."""
        self._watcher.stdin.write(f'{app.pid}\n')
        self._watcher.stdin.flush()
        answer = self._watcher.stdout.readline()
        if not answer:
            raise RuntimeError('the accessibility watcher ended')
        return json.loads(answer)


def nodes(tree):
    """Every node of an accessibility tree, depth first."""
    if tree is None:
        return
    yield tree
    for child in tree['children']:
        yield from nodes(child)


def _atspi_serve():
    """Answers each process id read from standard input with one JSON line:
    that process's accessibility tree. Popup windows are not children of
    their application in the tree, so the windows that events (focus,
    activation, showing) come from are remembered and added, as a screen
    reader finds them."""
    import pyatspi  # pylint: disable=import-outside-toplevel
    from gi.repository import Atspi, GLib  # pylint: disable=import-outside-toplevel

    windows = []

    def top_level(accessible):
        while True:
            parent = accessible.parent
            if parent is None or parent.getRole() == pyatspi.ROLE_APPLICATION:
                return accessible
            accessible = parent

    def remember(event):
        with contextlib.suppress(Exception):
            window = top_level(event.source)
            if all(window != known for known in windows):
                windows.append(window)

    def describe(accessible, depth=0):
        # Unnamed containers only carry their children: each read is a bus call.
        node = {'name': accessible.name, 'role': accessible.getRoleName(), 'description': '',
                'states': [], 'extents': None, 'children': []}
        if node['name'] or depth == 0:
            node['description'] = accessible.description
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
        return {'name': '', 'role': 'root', 'description': '', 'states': [], 'extents': None,
                'children': children}

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


def _screenshot(app_path, output):
    """Opens the panel from the tray on a private desktop and saves it, cropped."""
    _require(app_path)
    os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
    with Desktop() as desktop:
        app = desktop.launch()
        desktop.open_panel(app)
        # The panel animates its height; the picture is taken once it holds still.
        eventually(lambda: _steady(desktop, app), 'the panel to stop moving')
        _, panel = desktop.panel(app)
        desktop.screenshot(output, panel)


def _steady(desktop, app):
    first = desktop.panel(app)
    time.sleep(0.3)
    second = desktop.panel(app)
    return first is not None and second is not None and repr(first[1]) == repr(second[1])


def _require(app_path):
    """A machine that lacks a tool skips in one line (exit status 77), or
    fails under STAYWAKE_NO_SKIP."""
    os.environ['STAYWAKE_APP'] = app_path
    reason = missing_requirement()
    if reason is None and not os.access(app_path, os.X_OK):
        reason = f'the Staywake app binary is not built: {app_path!r}'
    if reason is not None:
        if os.environ.get('STAYWAKE_NO_SKIP'):
            print(f'expected to run, but: {reason}')
            sys.exit(1)
        print(f'SKIPPED: {reason}')
        sys.exit(77)


def _run(app_path, modules):
    """Runs test modules of this folder against the app binary."""
    _require(app_path)
    sys.path.insert(0, HERE)
    program = unittest.main(module=None, argv=[sys.argv[0], '-v', *modules], exit=False)
    sys.exit(0 if program.result.wasSuccessful() else 1)


if __name__ == '__main__':
    sys.dont_write_bytecode = True  # nothing lands in the source folder
    if len(sys.argv) >= 4 and sys.argv[1] == 'run':
        _run(sys.argv[2], sys.argv[3:])
    elif len(sys.argv) == 2 and sys.argv[1] == 'atspi-serve':
        _atspi_serve()
    elif len(sys.argv) == 4 and sys.argv[1] == 'screenshot':
        _screenshot(sys.argv[2], sys.argv[3])
    else:
        sys.exit(__doc__)
