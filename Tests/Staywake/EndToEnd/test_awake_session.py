"""Awake mode through the real panel: logind's idle lock, the stored intent,
a second launch and a killed app."""

import os
import re
import signal
import time

from staywake_e2e import EndToEndCase, eventually

REQUESTED = 'com.staywake.isAwakeRequested'
UNTIL = 'com.staywake.awakeUntil'


class AwakeSessionTests(EndToEndCase):

    def test_turn_on_a_preset_and_turn_off_drive_the_lock_and_the_settings(self):
        desktop = self.open_desktop()
        app = desktop.launch()
        desktop.open_panel(app)
        desktop.press(app, 'Turn On')
        eventually(desktop.idle_locks, 'logind to list the idle lock')
        desktop.find(app, 'Turn Off')
        self.assertIs(desktop.settings().get(REQUESTED), True)
        desktop.press(app, re.compile(r'^30\s?min'))
        pressed = time.time()
        deadline = eventually(lambda: desktop.settings().get(UNTIL), 'the preset deadline in the settings')
        self.assertAlmostEqual(deadline, pressed + 30 * 60, delta=5)
        self.assertEqual(len(desktop.idle_locks()), 1, 'the preset keeps the one lock')
        desktop.press(app, 'Turn Off')
        eventually(lambda: not desktop.idle_locks(), 'logind to drop the idle lock')
        desktop.find(app, 'Turn On')
        self.assertNotIn(REQUESTED, desktop.settings())

    def test_a_second_launch_opens_the_first_ones_panel_and_exits_0(self):
        desktop = self.open_desktop()
        first = desktop.launch()
        self.assertEqual(desktop.launch(wait_until_ready=False).wait_exit(), 0)
        eventually(lambda: desktop.panel(first), 'the first app to open its panel')
        self.assertIsNone(first.process.poll())

    def test_a_killed_app_leaves_no_lock_and_its_relaunch_takes_it_before_any_panel(self):
        desktop = self.open_desktop()
        desktop.write_settings({REQUESTED: True})
        app = desktop.launch()
        self.assertEqual(len(desktop.idle_locks()), 1, 'the stored intent took no lock at launch')
        os.kill(app.pid, signal.SIGKILL)
        app.process.wait()
        eventually(lambda: not desktop.idle_locks(), 'logind to drop the killed app\'s lock')
        again = desktop.launch()
        # The lock is taken while the controllers are built, before the tray
        # icon exists, so it is listed the moment the app is ready.
        self.assertEqual(len(desktop.idle_locks()), 1)
        self.assertIsNone(desktop.panel(again))
