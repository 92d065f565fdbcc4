"""What a screen reader reads of the panel, through AT-SPI."""

from staywake_e2e import EndToEndCase, eventually, nodes

HEAT = ('With the lid shut and no display attached, heat can build up. Keep your computer out of bags '
        'and other enclosed spaces while it is working.')
SWITCH_ROLES = {'check box', 'toggle button', 'switch'}


class AccessibilityTests(EndToEndCase):

    def test_the_header_reads_as_one_element_and_the_switches_carry_their_names_and_hints(self):
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

        def switch(name):
            return eventually(lambda: next((node for node in nodes(desktop.panel_tree(app))
                                            if node['name'] == name and node['role'] in SWITCH_ROLES), None),
                              f'a switch named {name!r} in the panel')
        night_brew = switch('Night Brew')
        self.assertEqual(night_brew['description'], HEAT)
        self.assertNotIn('enabled', night_brew['states'])
        self.assertNotIn('checked', switch('Open at Login')['states'])
