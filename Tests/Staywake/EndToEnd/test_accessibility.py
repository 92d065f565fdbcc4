"""What a screen reader reads of the panel, through AT-SPI."""

from staywake_e2e import Desktop, EndToEndCase, eventually, nodes

HEAT = ('With the lid shut and no display attached, heat can build up. Keep your computer out of bags '
        'and other enclosed spaces while it is working.')
LID_CLOSED = 'Your computer stays awake with the lid closed.'
SWITCH_ROLES = {'check box', 'toggle button', 'switch'}


def switch(desktop, app, name):
    return eventually(lambda: next((node for node in nodes(desktop.panel_tree(app))
                                    if node['name'] == name and node['role'] in SWITCH_ROLES), None),
                      f'a switch named {name!r} in the panel')


class AccessibilityTests(EndToEndCase):

    def test_the_header_reads_as_one_element_named_by_the_spoken_status(self):
        desktop = self.open_desktop()
        app = desktop.launch()
        desktop.open_panel(app)
        for spoken, press in (('Staywake, off', 'Turn On'), ('Staywake, on', None)):
            header = desktop.control(app, spoken)
            named_inside = [node['name'] for node in nodes(header) if node is not header and node['name']]
            self.assertEqual(named_inside, [], 'the header\'s pieces are read one by one')
            pieces = [node['name'] for node in nodes(desktop.panel_tree(app)) if node['name'] in ('Off', 'On')]
            self.assertEqual(pieces, [], 'the status is read apart from the header')
            if press:
                desktop.press(app, press)

    def test_the_switches_carry_their_names_and_hints(self):
        cases = (
            ('heat warning not yet acknowledged', {}, HEAT, False),
            ('heat warning acknowledged', {'com.staywake.acknowledgedHeatWarning': True}, LID_CLOSED, True),
        )
        for case, settings, hint, enabled in cases:
            with self.subTest(case), Desktop() as desktop:
                desktop.write_settings(settings)
                app = desktop.launch()
                desktop.open_panel(app)
                night_brew = switch(desktop, app, 'Night Brew')
                self.assertEqual(night_brew['description'], hint)
                self.assertEqual('enabled' in night_brew['states'], enabled)
                self.assertNotIn('checked', night_brew['states'])
                self.assertNotIn('checked', switch(desktop, app, 'Open at Login')['states'])
