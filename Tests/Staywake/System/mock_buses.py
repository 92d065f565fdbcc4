#!/usr/bin/python3
"""Private system and session buses with mocked system services, for tests.

Starts one dbus-daemon of each kind, puts python-dbusmock's logind (with an
Inhibit that answers as logind does, logind_inhibit.py) and upower templates on
the system bus and a desktop portal that offers Inhibit on the session bus (and,
when asked, its polkitd template, which allows the lid helper's action, denies
it, or never answers; its systemd template with the unit-file methods,
systemd_units.py; its notification daemon on the session bus), then prints one JSON line {"system": ADDRESS, "session": ADDRESS}
once every service answers. Everything is torn down when standard input
closes (the test finished or died) or on SIGTERM.

Exit status 77: a tool this needs is missing (the message says which).
"""

import argparse
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
MISSING_TOOL = 77

BUS_CONFIG = '''<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>{kind}</type>
  <keep_umask/>
  <listen>unix:dir={folder}</listen>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
'''


def missing(what):
    sys.stderr.write(f'{what}\n')
    sys.exit(MISSING_TOOL)


def start_bus(kind, folder):
    config = os.path.join(folder, f'{kind}.conf')
    with open(config, 'w', encoding='utf-8') as file:
        file.write(BUS_CONFIG.format(kind=kind, folder=folder))
    daemon = subprocess.Popen(['dbus-daemon', '--nofork', '--print-address=1', f'--config-file={config}'],
                              stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              text=True)
    address = daemon.stdout.readline().strip()
    if not address:
        raise RuntimeError(f'the {kind} dbus-daemon did not start')
    return daemon, address


def start_mock(template, system_bus, addresses, parameters=None):
    arguments = [sys.executable, '-m', 'dbusmock', '--template', template,
                 '--system' if system_bus else '--session']
    if parameters:
        arguments += ['--parameters', json.dumps(parameters)]
    environment = dict(os.environ,
                       DBUS_SYSTEM_BUS_ADDRESS=addresses['system'],
                       DBUS_SESSION_BUS_ADDRESS=addresses['session'])
    return subprocess.Popen(arguments, env=environment, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)


def wait_for_service(address, name, path, mock, timeout=60):
    import dbus  # pylint: disable=import-outside-toplevel
    bus = dbus.bus.BusConnection(address)
    deadline = time.monotonic() + timeout
    while not bus.name_has_owner(name):
        if mock.poll() is not None:
            raise RuntimeError(f'the mock for {name} exited with {mock.returncode}')
        if time.monotonic() > deadline:
            raise RuntimeError(f'{name} did not appear on the bus')
        time.sleep(0.01)
    # Answered only once the mock has loaded its template and runs its loop.
    dbus.Interface(bus.get_object(name, path), 'org.freedesktop.DBus.Introspectable').Introspect()
    bus.close()


POLKIT = 'org.freedesktop.PolicyKit1'
POLKIT_PATH = '/org/freedesktop/PolicyKit1/Authority'
HOLD_ACTION = 'com.staywake.app.lidhelper.hold'


def control_polkit(address, answer):
    import dbus  # pylint: disable=import-outside-toplevel
    import dbusmock  # pylint: disable=import-outside-toplevel
    bus = dbus.bus.BusConnection(address)
    mock = dbus.Interface(bus.get_object(POLKIT, POLKIT_PATH), dbusmock.MOCK_IFACE)
    if answer == 'allow':
        mock.SetAllowed([HOLD_ACTION])
    elif answer == 'hang':
        mock.SimulateHang(True)
    bus.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--without', default='', help='comma-separated: logind, upower, portal')
    parser.add_argument('--on-battery', action='store_true', help="UPower's OnBattery starts true")
    parser.add_argument('--polkit', choices=('allow', 'deny', 'hang'),
                        help='start polkitd, answering the lid helper\'s action so')
    parser.add_argument('--systemd', action='store_true', help='start systemd (systemd_units.py)')
    parser.add_argument('--notifications', action='store_true', help='start a notification daemon')
    arguments = parser.parse_args()
    without = {name for name in arguments.without.split(',') if name}

    if shutil.which('dbus-daemon') is None:
        missing('dbus-daemon is not installed (Debian package dbus)')
    try:
        import dbus  # pylint: disable=import-outside-toplevel,unused-import
        import dbusmock  # pylint: disable=import-outside-toplevel,unused-import
    except ImportError as error:
        missing(f'python3-dbusmock is not installed for {sys.executable}: {error}')

    folder = tempfile.mkdtemp(prefix='staywake-buses-')
    children = []

    def tear_down(*_):
        for child in reversed(children):
            if child.poll() is None:
                child.terminate()
        for child in reversed(children):
            try:
                child.wait(timeout=5)
            except subprocess.TimeoutExpired:
                child.kill()
                child.wait()
        shutil.rmtree(folder, ignore_errors=True)
        sys.exit(0)

    signal.signal(signal.SIGTERM, tear_down)
    signal.signal(signal.SIGINT, tear_down)
    try:
        addresses = {}
        for kind in ('system', 'session'):
            daemon, addresses[kind] = start_bus(kind, folder)
            children.append(daemon)

        services = []
        if 'logind' not in without:
            services.append((os.path.join(HERE, 'logind_inhibit.py'), True, 'org.freedesktop.login1',
                             '/org/freedesktop/login1', None))
        if 'upower' not in without:
            services.append(('upower', True, 'org.freedesktop.UPower', '/org/freedesktop/UPower',
                             {'OnBattery': arguments.on_battery}))
        if arguments.systemd:
            services.append((os.path.join(HERE, 'systemd_units.py'), True, 'org.freedesktop.systemd1',
                             '/org/freedesktop/systemd1', None))
        if arguments.notifications:
            services.append(('notification_daemon', False, 'org.freedesktop.Notifications',
                             '/org/freedesktop/Notifications', None))
        if 'portal' not in without:
            services.append((os.path.join(HERE, 'xdg_portal_inhibit.py'), False,
                             'org.freedesktop.portal.Desktop', '/org/freedesktop/portal/desktop', None))
        started = []
        for template, system_bus, name, path, parameters in services:
            mock = start_mock(template, system_bus, addresses, parameters)
            children.append(mock)
            started.append((addresses['system' if system_bus else 'session'], name, path, mock))
        if arguments.polkit:
            mock = start_mock('polkitd', True, addresses)
            children.append(mock)
            started.append((addresses['system'], POLKIT, POLKIT_PATH, mock))
        for address, name, path, mock in started:
            wait_for_service(address, name, path, mock)
        if arguments.polkit:
            control_polkit(addresses['system'], arguments.polkit)

        print(json.dumps(addresses), flush=True)
        sys.stdin.read()
    except Exception as error:  # pylint: disable=broad-except
        sys.stderr.write(f'mock buses failed: {error}\n')
        tear_down()
    tear_down()


if __name__ == '__main__':
    main()
