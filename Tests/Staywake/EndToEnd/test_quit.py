"""Quitting the real app: a signal, and the wait for the real lid helper
(running in a private /run beside the tests' fake pmset, with the app in the
same mount namespace)."""

import contextlib
import os
import shutil
import signal
import socket
import sys

from staywake_e2e import TESTS, EndToEndCase, eventually

REQUESTED = 'com.staywake.isAwakeRequested'
HELPER_WAIT = 5.0  # the longest a quit waits for the helper


class LidHelper:
    """The real helper binary in a bundle of its own beside the fake pmset,
    with /run replaced by a folder in its own mount namespace; the journal
    socket there is read by this object. `wrapper` puts the app in the same
    namespace, so it finds the helper's socket where it always looks."""

    def __init__(self, desktop):
        binary = os.path.join(os.path.dirname(os.path.dirname(os.environ['STAYWAKE_APP'])), 'Helpers',
                              'StaywakeLidHelper')
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
            env=desktop.environment())
        self.wrapper = ('nsenter', f'--target={self.process.pid}', '--mount', '--')
        eventually(lambda: 'listening on' in ' '.join(self.messages()) or self.process.poll() is not None,
                   'the helper to listen')
        if self.process.poll() is not None:
            raise AssertionError(f'the helper exited with {self.process.returncode}: {self.log}')
        # The service manager knows the helper's socket unit.
        manager = desktop.system_bus.get_object('org.freedesktop.systemd1', '/org/freedesktop/systemd1')
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


class QuitTests(EndToEndCase):

    def test_sigterm_with_awake_mode_on_ends_without_asking(self):
        desktop = self.open_desktop()
        desktop.write_settings({REQUESTED: True})
        app = desktop.launch()
        os.kill(app.pid, signal.SIGTERM)
        self.assertEqual(app.wait_exit(timeout=HELPER_WAIT), 0)
        self.assertEqual(desktop.settings().get(REQUESTED), True)

    def test_a_quit_with_night_brew_on_waits_for_the_helper_to_give_the_setting_back(self):
        if os.geteuid() != 0 and not os.environ.get('STAYWAKE_NO_SKIP'):
            self.skipTest('the lid helper runs in a mount namespace of its own, which needs root')
        desktop = self.open_desktop(polkit='allow')
        desktop.write_settings({'com.staywake.acknowledgedHeatWarning': True})
        helper = LidHelper(desktop)
        app = desktop.launch(wrapper=helper.wrapper)
        desktop.open_panel(app)
        desktop.press(app, 'Night Brew', 'check box')
        eventually(lambda: helper.setting() == '1', 'the helper to disable sleep for the lease')
        desktop.close_panel(app)
        desktop.menu(app, 'Quit Staywake')
        desktop.find(app, 'Quit and end Night Brew', 'push button')
        logged = len(helper.messages())
        desktop.key('Return')
        self.assertEqual(app.wait_exit(timeout=HELPER_WAIT + 10), 0)
        self.assertIn('wrote disablesleep 0, and read it back', helper.messages()[logged:],
                      'the app ended before the helper gave back')
        self.assertEqual(helper.setting(), '0')
