"""The app on a desktop that lacks a tray host or a bus, or with a settings
file it cannot read."""

import glob
import re

from staywake_e2e import EndToEndCase, eventually


class DegradedTests(EndToEndCase):

    def test_without_a_tray_the_panel_is_a_window_titled_staywake_and_closing_it_quits(self):
        desktop = self.open_desktop(tray=None)
        app = desktop.launch()
        window, _ = eventually(lambda: desktop.panel(app), 'the panel window')
        self.assertEqual(desktop.run_x('xdotool', 'getwindowname', str(window)).strip(), 'Staywake')
        desktop.find(app, 'Turn On')
        desktop.x.close_window(window)
        self.assertEqual(app.wait_exit(), 0)

    def test_without_a_system_bus_or_portal_turn_on_shows_the_refusal(self):
        desktop = self.open_desktop(system_bus=False, without={'portal'})
        app = desktop.launch()
        desktop.open_panel(app)
        desktop.press(app, 'Turn On')
        desktop.find(app, re.compile(r"^The system couldn't keep your computer awake \(error -?\d+\)\.$"))
        self.assertIsNone(app.process.poll(), 'the app ended')

    def test_without_a_session_bus_the_app_restores_its_session_and_opens_from_the_tray(self):
        desktop = self.open_desktop(session_bus=False)
        desktop.write_settings({'com.staywake.isAwakeRequested': True})
        app = desktop.launch()
        self.assertEqual(len(desktop.idle_locks()), 1)
        desktop.open_panel(app)

    def test_an_unreadable_settings_file_is_moved_aside_and_reported_once(self):
        desktop = self.open_desktop(notifications=True)
        desktop.write_settings(b'<plist>not a property list')
        app = desktop.launch()
        (notice,) = eventually(desktop.notifications, 'a desktop notification')
        self.assertIn('com.staywake.app.plist', ' '.join(notice))
        (aside,) = glob.glob(desktop.settings_path() + '.corrupt-*')
        with open(aside, 'rb') as file:
            self.assertEqual(file.read(), b'<plist>not a property list')
        desktop.open_panel(app)
        desktop.find(app, 'Turn On')
        self.assertEqual(len(desktop.notifications()), 1, 'told more than once')
