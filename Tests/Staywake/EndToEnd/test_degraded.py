"""The app on a desktop that lacks a tray host or a session bus."""

import os
import signal
import unittest

from staywake_e2e import REQUESTED, Desktop, eventually


class DegradedTests(unittest.TestCase):

    def test_without_a_tray_the_panel_is_a_window_and_closing_it_quits(self):
        desktop = self.enterContext(Desktop(tray=None))
        app = desktop.launch()
        window, _ = eventually(lambda: desktop.panel(app), 'the panel window')
        desktop.find(app, 'Turn On')
        desktop.close_window(window)
        self.assertEqual(app.process.wait(20), 0)

    def test_without_a_session_bus_the_stored_session_holds_the_lock_and_sigterm_ends_it_unasked(self):
        desktop = self.enterContext(Desktop(session_bus=False))
        desktop.write_settings({REQUESTED: True})
        app = desktop.launch()
        self.assertEqual(len(desktop.idle_locks()), 1)
        desktop.open_panel(app)
        os.kill(app.pid, signal.SIGTERM)
        self.assertEqual(app.process.wait(5), 0)
        self.assertIs(desktop.settings().get(REQUESTED), True)
