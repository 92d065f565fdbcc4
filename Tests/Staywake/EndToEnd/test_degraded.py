"""The app on a desktop that lacks a tray host or a session bus."""

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

    def test_without_a_session_bus_the_app_restores_its_session_and_opens_from_the_tray(self):
        desktop = self.open_desktop(session_bus=False)
        desktop.write_settings({'com.staywake.isAwakeRequested': True})
        app = desktop.launch()
        self.assertEqual(len(desktop.idle_locks()), 1)
        desktop.open_panel(app)
