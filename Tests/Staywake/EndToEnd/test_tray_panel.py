"""The tray icon opens and closes the panel, anchored to the icon."""

import os

from staywake_e2e import EndToEndCase, eventually


class TrayPanelTests(EndToEndCase):

    # Where the panel goes for each tray edge is PanelPlacement's table; here
    # the icon's real geometry reaches it.
    def test_a_click_opens_the_panel_against_a_bottom_tray_icon_and_a_second_click_or_escape_closes_it(self):
        desktop = self.open_desktop(tray='bottom')
        app = desktop.launch()
        _, icon = desktop.tray_icon(app)
        for close in ('click', 'Escape'):
            with self.subTest(close=close):
                _, panel = desktop.open_panel(app)
                self.assertTrue(0 <= icon.y - (panel.y + panel.height) <= 8, f'panel {panel} is off icon {icon}')
                self.assertTrue(panel.x < icon.x + icon.width and icon.x < panel.x + panel.width, 'beside the icon')
                desktop.click(*icon.centre) if close == 'click' else desktop.key(close)
                eventually(lambda: desktop.panel(app) is None, f'the panel to close on {close}')
                desktop.accessible(app)  # the app has handled everything the close brought
                self.assertIsNone(desktop.panel(app))

    # Qt never activates a popup window, so the panel must refresh on being
    # shown: otherwise opening it shows the state it had at launch.
    def test_every_opening_shows_what_changed_while_the_panel_was_closed(self):
        desktop = self.open_desktop()
        app = desktop.launch()
        desktop.open_panel(app)
        self.assertNotIn('checked', desktop.find(app, 'Open at Login', 'check box')['states'])
        desktop.close_panel(app)
        # The user turns the login item on in the desktop's startup settings.
        autostart = os.path.join(desktop.environment()['XDG_CONFIG_HOME'], 'autostart')
        os.makedirs(autostart)
        with open(os.path.join(autostart, 'com.staywake.app.desktop'), 'w', encoding='utf-8') as entry:
            entry.write('[Desktop Entry]\nType=Application\nName=Staywake\nExec=staywake\n')
        desktop.open_panel(app)
        eventually(lambda: 'checked' in desktop.find(app, 'Open at Login', 'check box')['states'],
                   'the reopened panel to show the login item on', timeout=5)
