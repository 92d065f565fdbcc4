"""The panel from a bottom tray's icon: anchored to it, driving the idle lock, fresh at each opening."""

import os
import unittest

from staywake_e2e import REQUESTED, Desktop, eventually


class PanelTests(unittest.TestCase):

    def test_the_tray_icons_panel_drives_the_lock_and_shows_what_changed_while_it_was_closed(self):
        desktop = self.enterContext(Desktop(tray='bottom'))
        app = desktop.launch()
        _, icon = desktop.tray_icon(app)
        _, panel = desktop.open_panel(app)  # placed from the real icon's geometry
        self.assertTrue(0 <= icon.y - (panel.y + panel.height) <= 8, f'panel {panel} is off icon {icon}')
        self.assertNotIn('checked', desktop.find(app, 'Open at Login', 'check box')['states'])
        desktop.press(app, 'Turn On')
        eventually(desktop.idle_locks, 'logind to list the idle lock')
        self.assertIs(desktop.settings().get(REQUESTED), True)
        desktop.close_panel(app, by_click=True)
        # Qt never activates a popup, so the panel must refresh on being shown: the
        # user turns the login item on in the desktop's startup settings meanwhile.
        os.makedirs(autostart := os.path.join(desktop.folder, 'config', 'autostart'))
        with open(os.path.join(autostart, 'com.staywake.app.desktop'), 'w', encoding='utf-8') as entry:
            entry.write('[Desktop Entry]\nType=Application\nName=Staywake\nExec=staywake\n')
        desktop.open_panel(app)
        eventually(lambda: 'checked' in desktop.find(app, 'Open at Login', 'check box')['states'],
                   'the reopened panel to show the login item on', timeout=5)
        desktop.press(app, 'Turn Off')
        eventually(lambda: not desktop.idle_locks(), 'logind to drop the idle lock')
        self.assertNotIn(REQUESTED, desktop.settings())
        desktop.close_panel(app)
        self.assertEqual(desktop.launch(wait_until_ready=False).process.wait(20), 0, 'the second launch')
        eventually(lambda: desktop.panel(app), 'the first app to open its panel')
