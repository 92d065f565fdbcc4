#!/usr/bin/python3
"""The real Staywake binary on a private desktop (`Desktop`), for end-to-end tests.
  staywake_e2e.py run APP MODULE...   runs test modules of this folder
  staywake_e2e.py atspi-serve         answers process ids with their accessibility trees
"""

import collections
import contextlib
import importlib.util
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
REQUESTED = 'com.staywake.isAwakeRequested'
UNTIL = 'com.staywake.awakeUntil'
SANITIZER_REPORT = re.compile(r'ERROR: (Address|Leak)Sanitizer|runtime error: ')
TOOLS = {'dbus-daemon': 'dbus', 'Xvfb': 'xvfb', 'trayer': 'trayer', 'xdotool': 'xdotool', 'xwininfo': 'x11-utils',
         AT_SPI_LAUNCHER: 'at-spi2-core'}


def eventually(check, what, timeout=20, interval=0.05):
    """Polls `check` until it returns a true value, which it returns."""
    deadline = time.monotonic() + timeout
    while not (value := check()):
        if time.monotonic() > deadline:
            raise AssertionError(f'timed out after {timeout:.0f} s waiting for {what} (last: {value!r})')
        time.sleep(interval)
    return value


class Rect(collections.namedtuple('Rect', 'x y width height')):
    centre = property(lambda self: (self.x + self.width // 2, self.y + self.height // 2))


class App:
    """A started app; what it writes to its standard error is kept, and shown when a test fails."""

    def __init__(self, process):
        self.process, self.pid, self.lines = process, process.pid, []
        self._reader = threading.Thread(target=lambda: self.lines.extend(line.rstrip('\n') for line in process.stderr),
                                        daemon=True)
        self._reader.start()

    def output(self):
        return '\n'.join(self.lines)

    def stop(self):
        self.process.terminate()
        with contextlib.suppress(subprocess.TimeoutExpired):
            self.process.wait(timeout=8)
        self.process.kill()
        self.process.wait()
        self._reader.join(timeout=5)
        self.process.stderr.close()
        sys.stderr.write(f'--- the app (pid {self.pid}, status {self.process.returncode}) wrote:\n{self.output()}\n')


class Desktop:
    """One test's desktop, none of it the host's: the services ../System/mock_buses.py mocks, Xvfb with a trayer
    tray at the edge `tray` (or none), the accessibility bus, temporary XDG folders; leaving the `with` block ends
    every process it started. Automatic update checks are declined before each launch."""

    def __init__(self, tray='top', session_bus=True, polkit=None):
        self.tray, self.app_has_session_bus = tray, session_bus
        self.switches = ['--systemd'] + ([f'--polkit={polkit}'] if polkit else [])
        self.apps, self.x, self._children, self.stack = [], None, [], contextlib.ExitStack()

    def __enter__(self):
        try:
            self.folder = self.stack.enter_context(tempfile.TemporaryDirectory(prefix='staywake-e2e-'))
            for name in ('config/staywake', 'data', 'cache', 'runtime', 'home'):
                os.makedirs(os.path.join(self.folder, name), mode=0o700)
            self.settings_file = os.path.join(self.folder, 'config', 'staywake', 'com.staywake.app.plist')
            self._start()
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, kind, *_):
        for app in reversed(self.apps):
            app.stop()
        if self.x is not None:
            self.x.close()  # before the server goes
        for process in reversed(self._children):
            _end(process)
        self.stack.close()
        # An app built with sanitizers fails the test by what it reported.
        reports = [line for app in self.apps for line in app.lines if SANITIZER_REPORT.search(line)]
        if reports and kind is None:
            raise AssertionError('the app reported:\n' + '\n'.join(reports))

    def spawn(self, arguments, **options):
        # Each child leads its own process group, so what it starts ends with it.
        options = {'stdin': subprocess.DEVNULL, 'stdout': subprocess.DEVNULL, 'stderr': subprocess.DEVNULL, **options}
        self._children.append(subprocess.Popen(arguments, start_new_session=True, **options))
        return self._children[-1]

    def _start(self):
        buses = self.spawn([sys.executable, os.path.join(TESTS, 'System', 'mock_buses.py'), *self.switches],
                           stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=None, text=True)
        addresses = json.loads(buses.stdout.readline() or 'null')
        if not addresses:
            raise RuntimeError(f'the mock buses did not start (status {buses.wait()})')
        self.session_address, self.system_address = addresses['session'], addresses['system']
        import dbus  # pylint: disable=import-outside-toplevel
        self.session_bus, self.system_bus = (self.stack.enter_context(contextlib.closing(dbus.bus.BusConnection(bus)))
                                             for bus in (self.session_address, self.system_address))

        read_end, write_end = os.pipe()
        self.spawn(['Xvfb', '-displayfd', str(write_end), '-screen', '0', '1280x800x24', '-nolisten', 'tcp',
                    '-noreset'], pass_fds=(write_end,))
        os.close(write_end)
        with os.fdopen(read_end) as numbers:
            self.display = ':' + numbers.readline().strip()
        if self.display == ':':
            raise RuntimeError('Xvfb did not start')
        from Xlib import display  # pylint: disable=import-outside-toplevel
        self.x = display.Display(self.display)
        if self.tray:
            self.spawn(['trayer', '--edge', self.tray, '--align', 'right', '--widthtype', 'request',
                        '--height', '24'], env=self.environment())
            tray = self.x.intern_atom('_NET_SYSTEM_TRAY_S0')
            eventually(lambda: self.x.get_selection_owner(tray), 'trayer to own the tray')

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

    def launch(self, wait_until_ready=True, wrapper=(), program=None, **environment):
        """Starts the app (`program`, else the built one) under `wrapper`, a command that execs it; by default waits
        until it owns its bus name and its tray icon is embedded, as far as the desktop has either."""
        if not self.app_has_session_bus:
            environment.setdefault('DBUS_SESSION_BUS_ADDRESS', 'unix:path=' + os.path.join(self.folder, 'none'))
        if 'ASAN_OPTIONS' in os.environ:
            # libxkbcommon-x11 strndup()s X atom names that carry no NUL, which
            # strict string checks take for an overflow; everything else stays checked.
            environment.setdefault('ASAN_OPTIONS', os.environ['ASAN_OPTIONS'] + ':strict_string_checks=0')
        if 'SUEnableAutomaticChecks' not in self.settings():
            self.write_settings({**self.settings(), 'SUEnableAutomaticChecks': False})
        app = App(subprocess.Popen([*wrapper, program or os.environ['STAYWAKE_APP']],
                                   env=self.environment(**environment), stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, errors='replace'))
        self.apps.append(app)

        def ready():
            if app.process.poll() is not None:
                raise AssertionError(f'the app exited with {app.process.returncode}:\n{app.output()}')
            return ((not self.app_has_session_bus or self.session_bus.name_has_owner(APP_NAME))
                    and (not self.tray or self.tray_icon(app)))
        if wait_until_ready:
            eventually(ready, 'the app to own its bus name and show its tray icon')
        return app

    def settings(self):
        with contextlib.suppress(FileNotFoundError), open(self.settings_file, 'rb') as file:
            return plistlib.load(file)
        return {}

    def write_settings(self, values):
        with open(self.settings_file, 'wb') as file:
            plistlib.dump(values, file)

    def idle_locks(self):
        manager = self.system_bus.get_object('org.freedesktop.login1', '/org/freedesktop/login1')
        return [lock for lock in manager.ListInhibitors(dbus_interface='org.freedesktop.login1.Manager')
                if lock[0] == 'idle']

    def run_x(self, *arguments):
        return subprocess.run(arguments, env=self.environment(), capture_output=True, text=True, check=False,
                              timeout=10).stdout

    def windows(self, app, embedded):
        """The app's viewable windows, embedded ones (its tray icon) or top-level ones: id to geometry."""
        found = {}
        for window in self.run_x('xdotool', 'search', '--onlyvisible', '--pid', str(app.pid)).split():
            parent = re.search(r'Parent window id: .*', self.run_x('xwininfo', '-tree', '-id', window))
            shell = dict(re.findall(r'(\w+)=(-?\d+)', self.run_x('xdotool', 'getwindowgeometry', '--shell', window)))
            if parent and ('(the root window)' not in parent.group()) == embedded and len(shell) > 4:
                found[int(window)] = Rect(*(int(shell[key]) for key in ('X', 'Y', 'WIDTH', 'HEIGHT')))
        return found

    def tray_icon(self, app):
        return next(iter(self.windows(app, embedded=True).items()), None)

    def panel(self, app):  # any top-level window of the app: id and geometry, or None
        return next(iter(self.windows(app, embedded=False).items()), None)

    def close_window(self, window):
        """A window manager's polite close (WM_DELETE_WINDOW), which no command-line tool sends."""
        from Xlib import X, protocol  # pylint: disable=import-outside-toplevel
        atom = self.x.intern_atom
        message = protocol.event.ClientMessage(window=window, client_type=atom('WM_PROTOCOLS'),
                                               data=(32, [atom('WM_DELETE_WINDOW'), X.CurrentTime, 0, 0, 0]))
        self.x.create_resource_object('window', window).send_event(message)
        self.x.flush()

    def click(self, x, y, button=1):
        self.run_x('xdotool', 'mousemove', str(x), str(y), 'click', str(button))

    def key(self, name):
        self.run_x('xdotool', 'key', name)

    def open_panel(self, app):
        """Clicks the tray icon until the panel opens (a click right after the panel closed is taken for the close)."""
        _, icon = self.tray_icon(app)

        def opened():
            self.click(*icon.centre)
            with contextlib.suppress(AssertionError):
                return eventually(lambda: self.panel(app), 'the panel', timeout=3)
            return None
        return eventually(opened, 'the panel to open after a click on the tray icon')

    def close_panel(self, app, by_click=False):
        self.click(*self.tray_icon(app)[1].centre) if by_click else self.key('Escape')
        eventually(lambda: self.panel(app) is None, 'the panel to close')
        self.accessible(app)  # the app has handled everything the close brought
        if self.panel(app) is not None:
            raise AssertionError('the panel opened again after closing')

    def menu(self, app, item):
        self.click(*self.tray_icon(app)[1].centre, button=3)
        self.press(app, item, 'menu item')

    def find(self, app, name, role=None):
        """The app's first showing accessible node with this name and role, once there is one."""
        return eventually(lambda: next((node for node in self.accessible(app) if 'showing' in node['states']
                                        and node['name'] == name and role in (None, node['role'])), None),
                          f'a showing {role or "node"} named {name!r}')

    def press(self, app, name, role='push button'):
        """Clicks the middle of a control once it is enabled and holds still (the panel animates its height)."""
        last = [None]

        def still():
            node = self.find(app, name, role)
            previous, last[0] = last[0], 'enabled' in node['states'] and node['extents']
            return previous == last[0] and previous
        self.click(*Rect(*eventually(still, f'{name!r} to be enabled and hold still')).centre)

    def accessible(self, app):
        """The named nodes a screen reader reaches in the app's windows, popups included."""
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


def _atspi_serve():
    """Answers each process id read from standard input with one JSON line: the named nodes of its accessibility
    tree. Popups are no children of their application there, so the windows events come from are remembered and
    added, as a screen reader finds them."""
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

    def named(accessible, depth=0):
        # Unnamed containers only carry their children: each read is a bus call.
        if accessible.name:
            extents = accessible.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            yield {'name': accessible.name, 'role': accessible.getRoleName(),
                   'states': [pyatspi.stateToString(state) for state in accessible.getState().getStates()],
                   'extents': [extents.x, extents.y, extents.width, extents.height]}
        for child in accessible if depth < 40 else ():
            if child is not None:
                yield from named(child, depth + 1)

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
        listed = []
        for window in found:
            with contextlib.suppress(Exception):  # a window that went away meanwhile
                listed += list(named(window))
        return listed

    def answer(source, _condition):
        line = source.readline()
        if not line:
            pyatspi.Registry.stop()
            return False
        print(json.dumps(tree(int(line))), flush=True)
        return True

    pyatspi.Registry.registerEventListener(remember, 'object:state-changed:focused', 'window:activate',
                                           'object:state-changed:showing', 'focus:')
    GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, answer)
    print('listening', flush=True)
    pyatspi.Registry.start()


def missing_requirement():
    """What this machine lacks to run the suite, or None."""
    for tool, package in TOOLS.items():
        if shutil.which(tool) is None:
            return f'{tool} is not installed (Debian package {package})'
    for module in ('dbus', 'dbusmock', 'pyatspi', 'Xlib'):
        if importlib.util.find_spec(module) is None:
            return f'{sys.executable} lacks the Python module {module} (Debian package python3-{module.lower()})'
    return None


if __name__ == '__main__':
    sys.dont_write_bytecode = True  # nothing lands in the source folder
    if sys.argv[1:] == ['atspi-serve']:
        _atspi_serve()
    elif len(sys.argv) >= 4 and sys.argv[1] == 'run':
        os.environ['STAYWAKE_APP'] = sys.argv[2]
        # A machine that lacks a tool skips in one line (exit status 77), or fails under STAYWAKE_NO_SKIP.
        if reason := missing_requirement():
            print(f'expected to run, but: {reason}' if os.environ.get('STAYWAKE_NO_SKIP') else f'SKIPPED: {reason}')
            sys.exit(1 if os.environ.get('STAYWAKE_NO_SKIP') else 77)
        sys.path.insert(0, HERE)
        sys.exit(not unittest.main(module=None, argv=[sys.argv[0], '-v', *sys.argv[3:]], exit=False).result
                 .wasSuccessful())
    else:
        sys.exit(__doc__)
