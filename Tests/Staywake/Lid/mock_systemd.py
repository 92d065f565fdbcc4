#!/usr/bin/python3
"""Runs a test program against a private system bus on which python-dbusmock's
systemd template stands in for the service manager.

The template lacks the unit-file methods the helper registration uses; they
are added here and keep their state in the mock. Tests steer it through the
com.staywake.Test interface on /org/freedesktop/systemd1:

  SetUnitFileState(unit, state)   state "" forgets the unit file
  SetStateAfterEnable(unit, state) what EnableUnitFiles leaves (default "enabled")
  FailNext(method, error name, message)
  TakeCalls() -> as                "Method arg..." for each call since the last take

The program finds the bus in STAYWAKE_MOCK_SYSTEM_BUS; nothing here touches
the machine's own system bus.
"""

import os
import subprocess
import sys

import dbus
import dbusmock
from dbusmock import DBusTestCase

MANAGER = 'org.freedesktop.systemd1.Manager'
CONTROL = 'com.staywake.Test'
UNIT = 'staywake-lidhelper.socket'

STATE = ("st = self.__dict__.setdefault('staywake', "
         "{'states': {}, 'after_enable': {}, 'failures': {}, 'calls': []})\n")


def failing(method):
    return (STATE +
            f"f = st['failures'].pop('{method}', None)\n"
            "if f:\n"
            "    raise dbus.exceptions.DBusException(f[1], name=f[0])\n")


METHODS = [
    (MANAGER, 'GetUnitFileState', 's', 's',
     failing('GetUnitFileState') +
     "st['calls'].append('GetUnitFileState ' + args[0])\n"
     "if args[0] not in st['states']:\n"
     "    raise dbus.exceptions.DBusException('Unit file ' + args[0] + ' does not exist.',"
     " name='org.freedesktop.DBus.Error.FileNotFound')\n"
     "ret = st['states'][args[0]]\n"),
    (MANAGER, 'EnableUnitFiles', 'asbb', 'ba(sss)',
     failing('EnableUnitFiles') +
     "st['calls'].append('EnableUnitFiles ' + ' '.join(args[0]) + ' runtime=' + str(bool(args[1]))"
     " + ' force=' + str(bool(args[2])))\n"
     "changes = []\n"
     "for unit in args[0]:\n"
     "    if unit not in st['states']:\n"
     "        raise dbus.exceptions.DBusException('Unit file ' + unit + ' does not exist.',"
     " name='org.freedesktop.DBus.Error.FileNotFound')\n"
     "    st['states'][unit] = st['after_enable'].get(unit, 'enabled')\n"
     "    changes.append(('symlink', '/etc/systemd/system/sockets.target.wants/' + unit,"
     " '/usr/lib/systemd/system/' + unit))\n"
     "ret = (False, changes)\n"),
    (MANAGER, 'UnmaskUnitFiles', 'asb', 'a(sss)',
     failing('UnmaskUnitFiles') +
     "st['calls'].append('UnmaskUnitFiles ' + ' '.join(args[0]) + ' runtime=' + str(bool(args[1])))\n"
     "changes = []\n"
     "for unit in args[0]:\n"
     "    if st['states'].get(unit, '').startswith('masked'):\n"
     "        st['states'][unit] = 'disabled'\n"
     "        changes.append(('unlink', '/etc/systemd/system/' + unit, ''))\n"
     "ret = changes\n"),
    (MANAGER, 'Reload', '', '',
     failing('Reload') + "st['calls'].append('Reload')\n"),
    (CONTROL, 'SetUnitFileState', 'ss', '',
     STATE +
     "if args[1]:\n"
     "    st['states'][args[0]] = args[1]\n"
     "else:\n"
     "    st['states'].pop(args[0], None)\n"),
    (CONTROL, 'SetStateAfterEnable', 'ss', '', STATE + "st['after_enable'][args[0]] = args[1]\n"),
    (CONTROL, 'FailNext', 'sss', '', STATE + "st['failures'][args[0]] = (args[1], args[2])\n"),
    (CONTROL, 'TakeCalls', '', 'as', STATE + "ret = st['calls']\nst['calls'] = []\n"),
]


def main():
    if len(sys.argv) < 2:
        sys.exit('usage: mock_systemd.py PROGRAM [ARGUMENT...]')
    DBusTestCase.start_system_bus()
    address = os.environ['DBUS_SYSTEM_BUS_ADDRESS']
    server, manager = DBusTestCase.spawn_server_template('systemd', {}, stdout=subprocess.DEVNULL)
    try:
        for interface, name, in_sig, out_sig, code in METHODS:
            manager.AddMethod(interface, name, in_sig, out_sig, code, dbus_interface=dbusmock.MOCK_IFACE)
        # StartUnit comes from the template and needs the unit as an object.
        manager.AddMockUnit(UNIT, dbus_interface=dbusmock.MOCK_IFACE)
        environment = dict(os.environ, STAYWAKE_MOCK_SYSTEM_BUS=address)
        status = subprocess.call(sys.argv[1:], env=environment)
    finally:
        server.terminate()
        server.wait()
        DBusTestCase.tearDownClass()
    sys.exit(status)


if __name__ == '__main__':
    main()
