"""A quit with Night Brew on waits for the real lid helper to give the setting back."""

import os
import pathlib
import shutil
import unittest

from staywake_e2e import TESTS, Desktop, eventually


class QuitTests(unittest.TestCase):

    def test_a_quit_with_night_brew_on_waits_for_the_helper_to_give_the_setting_back(self):
        if os.geteuid() != 0 and not os.environ.get('STAYWAKE_NO_SKIP'):
            self.skipTest('the lid helper runs in a mount namespace of its own, which needs root')
        desktop = self.enterContext(Desktop(polkit='allow'))
        desktop.write_settings({'com.staywake.acknowledgedHeatWarning': True})
        # The real helper in a bundle of its own beside the fake pmset, with /run a folder in its own mount
        # namespace; the app joins that namespace, where it finds the helper's socket.
        built, helpers = pathlib.Path(os.environ['STAYWAKE_APP']).parents[1], pathlib.Path(desktop.folder, 'Helpers')
        run = pathlib.Path(desktop.folder, 'run')
        shutil.copytree(built / 'Helpers', helpers)
        shutil.copy(pathlib.Path(TESTS).parent / 'StaywakeLidHelper' / 'fake-pmset', helpers / 'pmset')
        shutil.copy(built / 'Info.plist', desktop.folder)
        (setting := helpers / 'pmset.state').write_text('0\n')
        (helpers / 'pmset.write-0-mode').write_text('sleep 0.6\n')  # a quit that does not wait ends first
        run.mkdir()
        helper = desktop.spawn(['unshare', '--mount', '--propagation', 'private', 'sh', '-c',
                                'mount --rbind "$0" /run && exec "$1"', run, helpers / 'StaywakeLidHelper'],
                               env=desktop.environment(), stderr=None)
        eventually(lambda: (run / 'staywake' / 'lidhelper.sock').exists() or helper.poll() is not None,
                   'the helper to listen')
        self.assertIsNone(helper.poll(), 'the helper exited')
        # The service manager knows the helper's socket unit.
        desktop.system_bus.get_object('org.freedesktop.systemd1', '/org/freedesktop/systemd1').SetUnitFileState(
            'staywake-lidhelper.socket', 'enabled', dbus_interface='com.staywake.Test')
        app = desktop.launch(wrapper=('nsenter', f'--target={helper.pid}', '--mount', '--'))
        desktop.open_panel(app)
        desktop.press(app, 'Night Brew', 'check box')
        eventually(lambda: setting.read_text() == '1\n', 'the helper to disable sleep for the lease')
        desktop.close_panel(app)
        desktop.menu(app, 'Quit Staywake')
        desktop.find(app, 'Quit and end Night Brew', 'push button')
        desktop.key('Return')
        self.assertEqual(app.process.wait(15), 0)
        self.assertEqual(setting.read_text(), '0\n', 'the app ended before the helper gave the setting back')
