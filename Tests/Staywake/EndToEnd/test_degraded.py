"""The app on a desktop that lacks a tray host, and a session bus for the first launch."""

import os
import signal
import unittest

from staywake_e2e import REQUESTED, Desktop, eventually


class DegradedTests(unittest.TestCase):

    def test_the_panel_is_a_window_closing_it_quits_and_sigterm_keeps_the_stored_session(self):
        desktop = self.enterContext(Desktop(tray=None, session_bus=False))
        desktop.write_settings({REQUESTED: True})
        app = desktop.launch()
        eventually(lambda: desktop.panel(app), 'the panel window')
        self.assertEqual(len(desktop.idle_locks()), 1)
        os.kill(app.pid, signal.SIGTERM)  # quits unasked, though a session is on
        self.assertEqual(app.process.wait(5), 0)
        self.assertIs(desktop.settings().get(REQUESTED), True)

        desktop.write_settings({})
        app = desktop.launch(DBUS_SESSION_BUS_ADDRESS=desktop.session_address)  # for the accessibility bus
        window, _ = eventually(lambda: desktop.panel(app), 'the panel window')
        desktop.find(app, 'Turn On')
        desktop.close_window(window)
        self.assertEqual(app.process.wait(20), 0)
