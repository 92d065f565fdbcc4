'''A GNOME session manager that lists one inhibitor (suspend and idle), for staywakectl's inhibitors.'''

import dbus

BUS_NAME = 'org.gnome.SessionManager'
MAIN_OBJ = '/org/gnome/SessionManager'
MAIN_IFACE = 'org.gnome.SessionManager'
SYSTEM_BUS = False
INHIBITOR = '/org/gnome/SessionManager/Inhibitor1'


def load(mock, parameters):  # pylint: disable=unused-argument
    mock.AddMethod(MAIN_IFACE, 'GetInhibitors', '', 'ao', f'ret = [dbus.ObjectPath("{INHIBITOR}")]')
    mock.AddObject(INHIBITOR, 'org.gnome.SessionManager.Inhibitor', dbus.Dictionary({}, signature='sv'), [
        ('GetAppId', '', 's', 'ret = "org.gnome.Totem"'),
        ('GetReason', '', 's', 'ret = "Playing a film"'),
        ('GetFlags', '', 'u', 'ret = dbus.UInt32(12)'),
    ])
