"""Quitting the real app: the confirmation as a screen reader reads it, a
system quit, and the wait for the real lid helper (running in a private /run
beside the tests' fake pmset, with the app in the same mount namespace)."""

import contextlib
import os
import re
import shutil
import signal
import socket
import sys
import time

from staywake_e2e import TESTS, EndToEndCase, eventually

REQUESTED = 'com.staywake.isAwakeRequested'
UNTIL = 'com.staywake.awakeUntil'
ACKNOWLEDGED = 'com.staywake.acknowledgedHeatWarning'
HELPER_WAIT = 5.0  # the longest a quit waits for the helper
REPLY_TIMEOUT = 2.0  # the longest the app waits for one answer of the helper
GAVE_BACK = 'wrote disablesleep 0, and read it back'


def needs_root(case):
    if os.geteuid() != 0 and not os.environ.get('STAYWAKE_NO_SKIP'):
        case.skipTest('the lid helper runs in a mount namespace of its own, which needs root')


class LidHelper:
    """The real helper binary in a bundle of its own beside the fake pmset,
    with /run replaced by a folder in its own mount namespace; the journal
    socket there is read by this object. `wrapper` puts the app in the same
    namespace, so it finds the helper's socket where it always looks."""

    def __init__(self, desktop, binary):
        contents = os.path.join(desktop.folder, 'helper', 'Staywake.app', 'Contents')
        self.helpers = os.path.join(contents, 'Helpers')
        run = os.path.join(desktop.folder, 'helper', 'run')
        os.makedirs(self.helpers)
        os.makedirs(os.path.join(run, 'systemd', 'journal'))
        shutil.copy(binary, os.path.join(self.helpers, 'StaywakeLidHelper'))
        shutil.copy(os.path.join(os.path.dirname(binary), 'StaywakeFileHash'), self.helpers)
        shutil.copy(os.path.join(os.path.dirname(TESTS), 'StaywakeLidHelper', 'fake-pmset'),
                    os.path.join(self.helpers, 'pmset'))
        shutil.copy(os.path.join(os.path.dirname(os.path.dirname(binary)), 'Info.plist'), contents)
        with open(os.path.join(self.helpers, 'pmset.state'), 'w', encoding='ascii') as state:
            state.write('0\n')
        self.log = []
        self.journal = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM | socket.SOCK_NONBLOCK)
        self.journal.bind(os.path.join(run, 'systemd', 'journal', 'socket'))
        desktop.stack.callback(self.journal.close)
        desktop.stack.callback(lambda: print('--- the helper logged:', *self.messages(), sep='\n', file=sys.stderr))
        self.process = desktop.spawn(
            ['unshare', '--mount', '--propagation', 'private', 'sh', '-c', 'mount --rbind "$0" /run && exec "$1"',
             run, os.path.join(self.helpers, 'StaywakeLidHelper')],
            env=desktop.environment(DBUS_SYSTEM_BUS_ADDRESS=desktop.mock_system_address))
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

    def turn_night_brew_on(self, desktop, app):
        desktop.open_panel(app)
        desktop.press(app, 'Night Brew', 'check box')
        eventually(lambda: self.setting() == '1', 'the helper to disable sleep for the lease')
        desktop.close_panel(app)


class QuitTests(EndToEndCase):

    def test_the_awake_alert_is_read_escape_keeps_the_app_and_quit_keeps_the_session_for_the_next_launch(self):
        desktop = self.open_desktop()
        deadline = time.time() + 2 * 3600 + 30
        desktop.write_settings({REQUESTED: True, UNTIL: deadline})
        app = desktop.launch()
        question = 'Quit and stop awake mode?'
        desktop.menu(app, 'Quit Staywake')
        desktop.find(app, question, 'label')
        desktop.find(app, re.compile('^2 hr left in this session. Your computer can fall asleep'), 'label')
        desktop.key('Escape')
        eventually(lambda: not desktop.showing(app, question), 'the alert to close')
        self.assertIsNone(app.process.poll(), 'Escape ended the app')

        desktop.menu(app, 'Quit Staywake')
        desktop.find(app, question, 'label')
        desktop.key('Return')
        self.assertEqual(app.wait_exit(), 0)
        self.assertEqual((desktop.settings().get(REQUESTED), desktop.settings().get(UNTIL)), (True, deadline))
        self.assertEqual(desktop.tray_label(desktop.launch()), 'Staywake: on, timer running')

    def test_sigterm_with_awake_mode_on_ends_without_asking(self):
        desktop = self.open_desktop()
        desktop.write_settings({REQUESTED: True})
        app = desktop.launch()
        os.kill(app.pid, signal.SIGTERM)
        self.assertEqual(app.wait_exit(timeout=HELPER_WAIT), 0)
        self.assertEqual(desktop.settings().get(REQUESTED), True)

    def test_a_quit_with_night_brew_on_waits_for_the_helper_but_not_for_a_hung_one(self):
        needs_root(self)
        binary = os.path.join(os.path.dirname(os.path.dirname(os.environ['STAYWAKE_APP'])), 'Helpers',
                              'StaywakeLidHelper')
        for hung in (False, True):
            with self.subTest(hung=hung):
                desktop = self.open_desktop(polkit='allow')
                desktop.write_settings({ACKNOWLEDGED: True})
                helper = LidHelper(desktop, binary)
                app = desktop.launch(wrapper=helper.wrapper)
                helper.turn_night_brew_on(desktop, app)
                if hung:
                    os.kill(helper.process.pid, signal.SIGSTOP)
                desktop.menu(app, 'Quit Staywake')
                desktop.find(app, 'Quit and end Night Brew', 'push button')
                logged = len(helper.messages())
                desktop.key('Return')
                confirmed = time.monotonic()
                self.assertEqual(app.wait_exit(timeout=HELPER_WAIT + 10), 0)
                waited = time.monotonic() - confirmed
                if hung:
                    os.kill(helper.process.pid, signal.SIGCONT)
                    # It waited for the helper's answer until that could no
                    # longer come, and no longer than the quit's own limit.
                    self.assertTrue(REPLY_TIMEOUT - 0.3 < waited < HELPER_WAIT + 3, waited)
                else:
                    self.assertIn(GAVE_BACK, helper.messages()[logged:], 'the app ended before the helper gave back')
                    self.assertEqual(helper.setting(), '0')
