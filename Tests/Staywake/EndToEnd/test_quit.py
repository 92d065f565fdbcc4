"""Quitting the real app: the confirmation as a screen reader reads it, a
system quit, and the wait for the real lid helper (running in a private /run
beside the tests' fake pmset, with the app in the same mount namespace)."""

import contextlib
import os
import shutil
import signal
import socket
import subprocess
import time

from staywake_e2e import TESTS, EndToEndCase, eventually, nodes

REQUESTED = 'com.staywake.isAwakeRequested'
UNTIL = 'com.staywake.awakeUntil'
ACKNOWLEDGED = 'com.staywake.acknowledgedHeatWarning'
AWAKE_MESSAGE = ('Your computer can fall asleep on its own again. '
                 'Awake mode turns back on the next time you open Staywake.')
HELPER_WAIT = 5.0  # the longest a quit waits for the helper
REPLY_TIMEOUT = 2.0  # the longest the app waits for one answer of the helper
FAKE_PMSET = os.path.join(os.path.dirname(TESTS), 'StaywakeLidHelper', 'fake-pmset')


def choose_quit(desktop, app):
    """Quit from the tray icon's menu, as the user does."""
    _, icon = desktop.tray_icon(app)
    desktop.click(*icon.centre, button=3)

    def item():
        found = [node for node in nodes(desktop.accessible(app)) if node['name'] == 'Quit Staywake'
                 and node['role'] == 'menu item' and 'showing' in node['states']]
        return found[0] if found else None
    x, y, width, height = eventually(item, 'the menu\'s Quit')['extents']
    desktop.click(x + width // 2, y + height // 2)


def alert(desktop, app):
    """The showing quit alert: its texts and button names, read through AT-SPI."""
    def read():
        for window in desktop.accessible(app)['children']:
            if window['role'] in ('alert', 'dialog') and 'showing' in window['states']:
                inside = [node for node in nodes(window) if node is not window]
                return {'title': window['name'],
                        'texts': [node['name'] for node in inside if node['role'] == 'label'],
                        'buttons': [node['name'] for node in inside if node['role'] == 'push button']}
        return None
    return eventually(read, 'the quit alert')


class LidHelper:
    """The real helper binary in a bundle of its own beside the fake pmset,
    with /run replaced by a folder in its own mount namespace; the journal
    socket there is read by this object. `wrapper` puts the app in the same
    namespace, so it finds the helper's socket where it always looks."""

    def __init__(self, desktop, binary):
        folder = os.path.join(desktop.folder, 'helper')
        self.helpers = os.path.join(folder, 'Staywake.app', 'Contents', 'Helpers')
        run = os.path.join(folder, 'run')
        os.makedirs(self.helpers)
        os.makedirs(os.path.join(run, 'systemd', 'journal'))
        shutil.copy(binary, os.path.join(self.helpers, 'StaywakeLidHelper'))
        shutil.copy(FAKE_PMSET, os.path.join(self.helpers, 'pmset'))
        shutil.copy(os.path.join(os.path.dirname(os.path.dirname(binary)), 'Info.plist'),
                    os.path.join(folder, 'Staywake.app', 'Contents'))
        with open(os.path.join(self.helpers, 'pmset.state'), 'w', encoding='ascii') as state:
            state.write('0\n')
        self.log = []
        self.journal = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.journal.bind(os.path.join(run, 'systemd', 'journal', 'socket'))
        self.journal.setblocking(False)
        self.process = subprocess.Popen(
            ['unshare', '--mount', '--propagation', 'private', 'sh', '-c', 'mount --rbind "$0" /run && exec "$1"',
             run, os.path.join(self.helpers, 'StaywakeLidHelper')],
            env=desktop.environment(DBUS_SYSTEM_BUS_ADDRESS=desktop.mock_system_address),
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.wrapper = ('nsenter', f'--target={self.process.pid}', '--mount', '--')
        eventually(lambda: 'listening on' in ' '.join(self.messages()) or self.process.poll() is not None,
                   'the helper to listen')
        if self.process.poll() is not None:
            raise AssertionError(f'the helper exited with {self.process.returncode}: {self.log}')
        # The service manager knows the helper's socket unit.
        manager = desktop.mock_system_bus.get_object('org.freedesktop.systemd1', '/org/freedesktop/systemd1')
        manager.SetUnitFileState('staywake-lidhelper.socket', 'enabled', dbus_interface='com.staywake.Test')

    def messages(self):
        """Every line the helper has logged so far: a line is in the socket's
        queue from the moment the helper sent it."""
        with contextlib.suppress(BlockingIOError):
            while True:
                fields = self.journal.recv(65536).decode(errors='replace').split('\n')
                self.log += [field[len('MESSAGE='):] for field in fields if field.startswith('MESSAGE=')]
        return self.log

    def setting(self):
        with open(os.path.join(self.helpers, 'pmset.state'), encoding='ascii') as state:
            return state.read().strip()

    def close(self):
        if self.process.poll() is None:
            os.kill(self.process.pid, signal.SIGCONT)
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.journal.close()


class QuitTests(EndToEndCase):

    def test_the_awake_alert_is_read_escape_keeps_the_app_and_quit_keeps_the_session_for_the_next_launch(self):
        desktop = self.open_desktop()
        deadline = time.time() + 2 * 3600 + 30
        desktop.write_settings({REQUESTED: True, UNTIL: deadline})
        app = desktop.launch()

        choose_quit(desktop, app)
        self.assertEqual(alert(desktop, app), {
            'title': 'Staywake',
            'texts': ['Quit and stop awake mode?', '2 hr left in this session. ' + AWAKE_MESSAGE],
            'buttons': ['Quit', 'Cancel']})
        desktop.key('Escape')
        eventually(lambda: not [window for window in desktop.accessible(app)['children']
                                if 'showing' in window['states']], 'the alert to close')
        self.assertIsNone(app.process.poll(), 'Escape ended the app')

        choose_quit(desktop, app)
        alert(desktop, app)
        desktop.key('Return')
        self.assertEqual(app.wait_exit(), 0)
        self.assertEqual(desktop.settings().get(REQUESTED), True)
        self.assertEqual(desktop.settings().get(UNTIL), deadline)

        again = desktop.launch()
        self.assertEqual(desktop.tray_label(again), 'Staywake: on, timer running')

    def test_sigterm_with_awake_mode_on_ends_without_asking(self):
        desktop = self.open_desktop()
        desktop.write_settings({REQUESTED: True})
        app = desktop.launch()
        os.kill(app.pid, signal.SIGTERM)
        self.assertEqual(app.wait_exit(timeout=HELPER_WAIT), 0)
        self.assertEqual(desktop.settings().get(REQUESTED), True)

    def test_a_quit_with_night_brew_on_waits_for_the_helper_but_not_for_a_hung_one(self):
        if os.geteuid() != 0 and not os.environ.get('STAYWAKE_NO_SKIP'):
            self.skipTest('the lid helper runs in a mount namespace of its own, which needs root')
        binary = os.path.join(os.path.dirname(os.path.dirname(os.environ['STAYWAKE_APP'])),
                              'Helpers', 'StaywakeLidHelper')
        for hung in (False, True):
            with self.subTest(hung=hung):
                desktop = self.open_desktop(polkit='allow')
                desktop.write_settings({ACKNOWLEDGED: True})
                helper = LidHelper(desktop, binary)
                self.addCleanup(helper.close)
                app = desktop.launch(wrapper=helper.wrapper)
                desktop.open_panel(app)
                desktop.press(app, 'Night Brew', role='check box')
                eventually(lambda: helper.setting() == '1', 'the helper to disable sleep for the lease')
                desktop.key('Escape')
                eventually(lambda: desktop.panel(app) is None, 'the panel to close')
                if hung:
                    os.kill(helper.process.pid, signal.SIGSTOP)

                choose_quit(desktop, app)
                self.assertEqual(alert(desktop, app)['title'], 'Staywake')
                logged = len(helper.messages())
                desktop.key('Return')
                confirmed = time.monotonic()
                self.assertEqual(app.wait_exit(timeout=HELPER_WAIT + 10), 0)
                ended = time.monotonic()
                if hung:
                    # It waited for the helper's answer until that could no
                    # longer come, and no longer than the quit's own limit.
                    self.assertGreater(ended - confirmed, REPLY_TIMEOUT - 0.3)
                    self.assertLess(ended - confirmed, HELPER_WAIT + 3)
                else:
                    self.assertIn('wrote disablesleep 0, and read it back', helper.messages()[logged:],
                                  'the app ended before the helper gave the setting back')
                    self.assertEqual(helper.setting(), '0')
