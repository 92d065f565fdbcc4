'''python-dbusmock's logind, with Inhibit answering as logind does: each lock is a real pipe listed (with the caller's
uid and pid) until every copy of the returned descriptor is closed. SetInhibitDelay(seconds) on the mock interface
holds every later answer back for that long, so a caller can be caught waiting.'''

import os

import dbus
from gi.repository import GLib

from dbusmock import MOCK_IFACE, mockobject
from dbusmock.templates.logind import *  # noqa: F401,F403 pylint: disable=wildcard-import,unused-wildcard-import
from dbusmock.templates.logind import MAIN_IFACE, load as _load_stock


def load(mock, parameters):
    _load_stock(mock, parameters)
    mock.inhibit_delay = 0.0


def _caller(mock, sender):
    daemon = dbus.Interface(mock.bus_name.get_bus().get_object('org.freedesktop.DBus', '/org/freedesktop/DBus'),
                            'org.freedesktop.DBus')
    return int(daemon.GetConnectionUnixUser(sender)), int(daemon.GetConnectionUnixProcessID(sender))


def _lock(what, who, why, mode, uid, pid):
    if not hasattr(mockobject, 'inhibitors'):
        mockobject.inhibitors = []
    read_end, write_end = os.pipe()
    inhibitor = (what, who, why, mode, dbus.UInt32(uid), dbus.UInt32(pid))
    mockobject.inhibitors.append(inhibitor)

    def dropped(fd, _condition):
        os.close(fd)
        mockobject.inhibitors.remove(inhibitor)
        return False

    GLib.unix_fd_add_full(GLib.PRIORITY_HIGH, read_end, GLib.IO_HUP | GLib.IO_ERR, dropped)
    return write_end


@dbus.service.method(MAIN_IFACE, in_signature='ssss', out_signature='h', sender_keyword='sender',
                     async_callbacks=('reply', 'error'))
def Inhibit(self, what, who, why, mode, sender=None, reply=None, error=None):  # pylint: disable=too-many-arguments
    try:
        uid, pid = _caller(self, sender)
    except dbus.exceptions.DBusException as failure:
        error(failure)
        return

    def answer():
        write_end = _lock(what, who, why, mode, uid, pid)
        try:
            reply(dbus.types.UnixFd(write_end))
        finally:
            # The message holds its own copy; the caller's is the only one left.
            os.close(write_end)
        return False

    if self.inhibit_delay > 0:
        GLib.timeout_add(int(self.inhibit_delay * 1000), answer)
    else:
        answer()


@dbus.service.method(MOCK_IFACE, in_signature='d', out_signature='')
def SetInhibitDelay(self, seconds):
    self.inhibit_delay = float(seconds)
