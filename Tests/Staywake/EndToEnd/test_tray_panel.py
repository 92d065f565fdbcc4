"""The tray icon opens and closes the panel, anchored to the icon."""

import os

from staywake_e2e import SCREEN, EndToEndCase, eventually

PANEL_WIDTH = 260
GAP = 8  # the most the panel may stand off the icon


class TrayPanelTests(EndToEndCase):

    # Where the panel goes for each tray edge is PanelPlacement's table; here
    # the icon's real geometry reaches it.
    def test_a_click_opens_the_panel_above_a_bottom_tray_icon_and_inside_the_screen(self):
        desktop = self.open_desktop(tray='bottom')
        app = desktop.launch()
        _, icon = desktop.tray_icon(app)
        _, panel = desktop.open_panel(app)
        self.assertEqual(panel.width, PANEL_WIDTH)
        self.assertTrue(0 <= icon.y - panel.bottom <= GAP, f'panel {panel} is not against icon {icon}')
        self.assertTrue(panel.x < icon.right and icon.x < panel.right, f'panel {panel} beside icon {icon}')
        self.assertTrue(0 <= panel.x and panel.right <= SCREEN[0] and 0 <= panel.y
                        and panel.bottom <= SCREEN[1], f'panel {panel} leaves the {SCREEN} screen')

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

    # Qt never activates a popup window, so the panel must refresh on being
    # shown: otherwise opening it shows the state it had at launch.
    def test_every_opening_shows_what_changed_while_the_panel_was_closed(self):
        desktop = self.open_desktop()
        app = desktop.launch()
        desktop.open_panel(app)
        self.assertNotIn('checked', desktop.control(app, 'Open at Login', role='check box')['states'])
        desktop.key('Escape')
        eventually(lambda: desktop.panel(app) is None, 'the panel to close')

        # The user turns the login item on in the desktop's startup settings.
        autostart = os.path.join(desktop.environment()['XDG_CONFIG_HOME'], 'autostart')
        os.makedirs(autostart)
        with open(os.path.join(autostart, 'com.staywake.app.desktop'), 'w', encoding='utf-8') as entry:
            entry.write('[Desktop Entry]\nType=Application\nName=Staywake\nExec=staywake\n')

        desktop.open_panel(app)
        eventually(lambda: 'checked' in desktop.control(app, 'Open at Login', role='check box')['states'],
                   'the reopened panel to show the login item on', timeout=5)
