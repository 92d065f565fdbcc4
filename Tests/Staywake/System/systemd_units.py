'''python-dbusmock's systemd, with the unit-file methods the helper
registration uses, keeping their state in the mock; the lid helper's socket
unit exists as an object for StartUnit and StopUnit. Tests steer it through
com.staywake.Test on /org/freedesktop/systemd1:

  SetUnitFileState(unit, state)    state "" forgets the unit file
  FailNext(method, error name, message)
  TakeCalls() -> as                "Method arg..." for each call since the last take
'''

from dbusmock import MOCK_IFACE
from dbusmock.templates.systemd import *  # noqa: F401,F403 pylint: disable=wildcard-import,unused-wildcard-import
from dbusmock.templates.systemd import load as _load_stock

MANAGER = 'org.freedesktop.systemd1.Manager'
CONTROL = 'com.staywake.Test'
UNIT = 'staywake-lidhelper.socket'

STATE = ("st = self.__dict__.setdefault('staywake', "
         "{'states': {}, 'failures': {}, 'calls': []})\n")
NO_FILE = ("    raise dbus.exceptions.DBusException('Unit file ' + unit + ' does not exist.',"
           " name='org.freedesktop.DBus.Error.FileNotFound')\n")


def failing(method, call):
    return (STATE + f"f = st['failures'].pop('{method}', None)\n"
            "if f:\n    raise dbus.exceptions.DBusException(f[1], name=f[0])\n"
            f"st['calls'].append({call})\n")


METHODS = [
    (MANAGER, 'GetUnitFileState', 's', 's',
     failing('GetUnitFileState', "'GetUnitFileState ' + args[0]") +
     "unit = args[0]\nif unit not in st['states']:\n" + NO_FILE + "ret = st['states'][unit]\n"),
    (MANAGER, 'EnableUnitFiles', 'asbb', 'ba(sss)',
     failing('EnableUnitFiles', "'EnableUnitFiles ' + ' '.join(args[0]) + ' runtime=' + str(bool(args[1]))"
             " + ' force=' + str(bool(args[2]))") +
     "changes = []\n"
     "for unit in args[0]:\n"
     "  if unit not in st['states']:\n" + NO_FILE +
     "  st['states'][unit] = 'enabled'\n"
     "  changes.append(('symlink', '/etc/systemd/system/sockets.target.wants/' + unit,"
     " '/usr/lib/systemd/system/' + unit))\n"
     "ret = (False, changes)\n"),
    (MANAGER, 'UnmaskUnitFiles', 'asb', 'a(sss)',
     failing('UnmaskUnitFiles', "'UnmaskUnitFiles ' + ' '.join(args[0]) + ' runtime=' + str(bool(args[1]))") +
     "ret = []\n"
     "for unit in args[0]:\n"
     "    if st['states'].get(unit, '').startswith('masked'):\n"
     "        st['states'][unit] = 'disabled'\n"
     "        ret.append(('unlink', '/etc/systemd/system/' + unit, ''))\n"),
    (MANAGER, 'Reload', '', '', failing('Reload', "'Reload'")),
    (CONTROL, 'SetUnitFileState', 'ss', '',
     STATE + "if args[1]:\n    st['states'][args[0]] = args[1]\nelse:\n    st['states'].pop(args[0], None)\n"),
    (CONTROL, 'FailNext', 'sss', '', STATE + "st['failures'][args[0]] = (args[1], args[2])\n"),
    (CONTROL, 'TakeCalls', '', 'as', STATE + "ret = st['calls']\nst['calls'] = []\n"),
]


def load(mock, parameters):
    _load_stock(mock, parameters)
    for interface, name, in_signature, out_signature, code in METHODS:
        mock.AddMethod(interface, name, in_signature, out_signature, code)
    mock.AddMockUnit(UNIT)
