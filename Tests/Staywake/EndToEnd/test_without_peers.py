"""The app on a desktop that lacks a tray host or a system bus."""

import re

from staywake_e2e import EndToEndCase, eventually

REFUSAL = re.compile(r"^The system couldn't keep your computer awake \(error -?\d+\)\.$")


class WithoutPeersTests(EndToEndCase):

    def test_without_a_tray_the_panel_is_a_window_titled_staywake_and_closing_it_quits(self):
        desktop = self.open_desktop(tray=False)
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
