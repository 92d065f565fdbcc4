'''A desktop portal offering only Inhibit: each Inhibit is a Request object at the portal's path, ended by its Close or
by the caller leaving the bus; ListInhibitions on the mock interface reports each as (sender, flags, reason, active).'''

import dbus

from dbusmock import MOCK_IFACE, mockobject

BUS_NAME = 'org.freedesktop.portal.Desktop'
MAIN_OBJ = '/org/freedesktop/portal/desktop'
MAIN_IFACE = 'org.freedesktop.portal.Inhibit'
SYSTEM_BUS = False
REQUEST_IFACE = 'org.freedesktop.portal.Request'


def load(mock, _parameters):
    mock.inhibitions = []
    mock.AddProperty(MAIN_IFACE, 'version', dbus.UInt32(3))
    mock.bus_name.get_bus().add_signal_receiver(
        lambda name, _old, new: _client_left(mock, name) if not new else None,
        signal_name='NameOwnerChanged', dbus_interface='org.freedesktop.DBus', path='/org/freedesktop/DBus')


def _close(mock, path):
    for inhibition in mock.inhibitions:
        if inhibition['path'] == path:
            inhibition['active'] = False
    if path in mockobject.objects:
        mock.RemoveObject(path)


def _client_left(mock, name):
    for inhibition in mock.inhibitions:
        if inhibition['sender'] == name and inhibition['active']:
            _close(mock, inhibition['path'])


@dbus.service.method(MAIN_IFACE, in_signature='sua{sv}', out_signature='o', sender_keyword='sender')
def Inhibit(self, _window, flags, options, sender=None):
    token = str(options.get('handle_token', f'request{len(self.inhibitions)}'))
    path = f'{MAIN_OBJ}/request/{sender[1:].replace(".", "_")}/{token}'
    self.AddObject(path, REQUEST_IFACE, {}, [('Close', '', '', lambda request: _close(self, request.path))])
    self.inhibitions.append({'sender': str(sender), 'flags': int(flags),
                             'reason': str(options.get('reason', '')), 'path': path, 'active': True})
    return dbus.ObjectPath(path)


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='a(susb)')
def ListInhibitions(self):
    return [(i['sender'], dbus.UInt32(i['flags']), i['reason'], i['active']) for i in self.inhibitions]
