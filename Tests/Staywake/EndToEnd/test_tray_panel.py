"""The tray icon opens and closes the panel, anchored to the icon."""

from staywake_e2e import SCREEN, EndToEndCase, eventually

PANEL_WIDTH = 260


class TrayPanelTests(EndToEndCase):

    def test_a_click_opens_the_panel_under_the_icon_and_inside_the_screen(self):
        desktop = self.open_desktop()
        app = desktop.launch()
        _, icon = desktop.tray_icon(app)
        _, panel = desktop.open_panel(app)

        self.assertEqual(panel.width, PANEL_WIDTH)
        # trayer sits at the top: the panel hangs from the icon's lower edge.
        self.assertLessEqual(icon.bottom, panel.y)
        self.assertLessEqual(panel.y - icon.bottom, 8)
        self.assertTrue(panel.x < icon.right and icon.x < panel.right, f'panel {panel} beside icon {icon}')
        self.assertTrue(0 <= panel.x and panel.right <= SCREEN[0] and panel.bottom <= SCREEN[1],
                        f'panel {panel} leaves the {SCREEN} screen')

    def test_a_second_click_or_escape_closes_the_panel(self):
        desktop = self.open_desktop()
        app = desktop.launch()
        for close in ('click', 'Escape'):
            with self.subTest(close=close):
                desktop.open_panel(app)
                if close == 'click':
                    _, icon = desktop.tray_icon(app)
                    desktop.click(*icon.centre)
                else:
                    desktop.key(close)
                eventually(lambda: desktop.panel(app) is None, f'the panel to close on {close}')
                # Still closed once the app has handled everything the close brought.
                self.assertIsNotNone(desktop.accessible(app))
                self.assertIsNone(desktop.panel(app))
