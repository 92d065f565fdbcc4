"""The app on a desktop that lacks a tray host or a bus, without the lid helper,
or with a settings file it cannot read."""

import glob
import re

from staywake_e2e import EndToEndCase, eventually

REFUSAL = re.compile(r"^The system couldn't keep your computer awake \(error -?\d+\)\.$")


class DegradedTests(EndToEndCase):

    def test_without_a_tray_the_panel_is_a_window_titled_staywake_and_closing_it_quits(self):
        desktop = self.open_desktop(tray=None)
        app = desktop.launch()
        window, _ = eventually(lambda: desktop.panel(app), 'the panel window')
        self.assertEqual(desktop.window_name(window), 'Staywake')
        desktop.control(app, 'Turn On')
        desktop.close_window(window)
        self.assertEqual(app.wait_exit(), 0)

    def test_without_a_system_bus_or_portal_turn_on_shows_the_refusal(self):
        desktop = self.open_desktop(system_bus=False, without={'portal'})
        app = desktop.launch()
        desktop.open_panel(app)
        desktop.press(app, 'Turn On')
        desktop.control(app, REFUSAL)
        desktop.control(app, 'Turn On')
        self.assertIsNone(app.process.poll(), 'the app ended')

    def test_without_a_session_bus_the_app_restores_its_session_and_opens_from_the_tray(self):
        desktop = self.open_desktop(session_bus=False)
        desktop.write_settings({'com.staywake.isAwakeRequested': True})
        app = desktop.launch()
        self.assertIn(('idle', 'Staywake', 'block'),
                      [(what, who, mode) for what, who, _, mode in desktop.inhibitors()])
        desktop.open_panel(app)
        self.assertFalse(desktop.session_bus.name_has_owner('com.staywake.app'))

    def test_night_brew_without_an_installed_helper_says_it_is_unavailable(self):
        desktop = self.open_desktop()
        desktop.write_settings({'com.staywake.acknowledgedHeatWarning': True})
        app = desktop.launch()
        desktop.open_panel(app)
        desktop.press(app, 'Night Brew', role='check box')
        desktop.control(app, 'Unit file staywake-lidhelper.socket does not exist.')  # the service manager's word
        self.assertNotIn('checked', desktop.control(app, 'Night Brew', role='check box')['states'])

    def test_an_unreadable_settings_file_is_moved_aside_and_reported_once(self):
        desktop = self.open_desktop(notifications=True)
        desktop.write_settings(b'<plist>not a property list')
        app = desktop.launch()
        (notice,) = eventually(desktop.notifications, 'a desktop notification')
        aside = glob.glob(desktop.settings_path() + '.corrupt-*')
        self.assertEqual(len(aside), 1, 'the unreadable file was not moved aside')
        with open(aside[0], 'rb') as file:
            self.assertEqual(file.read(), b'<plist>not a property list')
        self.assertIn('com.staywake.app.plist', ' '.join(notice))
        desktop.open_panel(app)
        desktop.control(app, 'Turn On')
        self.assertEqual(len(desktop.notifications()), 1, 'told more than once')
