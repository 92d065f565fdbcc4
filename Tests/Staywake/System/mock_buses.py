#!/usr/bin/python3
"""Private system and session buses with python-dbusmock's logind, UPower and a desktop portal (and when asked
polkitd, systemd and a notification daemon), for tests. Prints {"system": ADDRESS, "session": ADDRESS} once every
service answers; ends everything when standard input closes or on SIGTERM. Exit status 77: a tool is missing.
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
POLKIT = ('org.freedesktop.PolicyKit1', '/org/freedesktop/PolicyKit1/Authority')
BUS_CONFIG = '''<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>{kind}</type><keep_umask/><listen>unix:dir={folder}</listen>
  <policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
    <allow own="*"/></policy></busconfig>
'''


def start_bus(kind, folder):
    config = os.path.join(folder, f'{kind}.conf')
    with open(config, 'w', encoding='utf-8') as file:
        file.write(BUS_CONFIG.format(kind=kind, folder=folder))
    daemon = subprocess.Popen(['dbus-daemon', '--nofork', '--print-address=1', f'--config-file={config}'],
                              stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL, text=True)
    address = daemon.stdout.readline().strip()
    if not address:
        raise RuntimeError(f'the {kind} dbus-daemon did not start')
    return daemon, address


def wait_for_service(address, name, path, mock, timeout=60):
    import dbus  # pylint: disable=import-outside-toplevel
    bus = dbus.bus.BusConnection(address)
    deadline = time.monotonic() + timeout
    while not bus.name_has_owner(name):
        if mock.poll() is not None or time.monotonic() > deadline:
            raise RuntimeError(f'{name} did not appear on the bus (mock status {mock.poll()})')
        time.sleep(0.01)
    # Answered only once the mock has loaded its template and runs its loop.
    dbus.Interface(bus.get_object(name, path), 'org.freedesktop.DBus.Introspectable').Introspect()
    bus.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument('--without', default='', help='comma-separated: logind, upower, portal')
    parser.add_argument('--polkit', choices=('allow', 'deny', 'hang'), help="polkitd's answer to the lid helper")
    for switch in ('--on-battery', '--systemd', '--notifications'):
        parser.add_argument(switch, action='store_true')
    arguments = parser.parse_args()
    without = set(arguments.without.split(','))
    try:
        import dbus  # pylint: disable=import-outside-toplevel
        import dbusmock  # pylint: disable=import-outside-toplevel
    except ImportError as error:
        sys.stderr.write(f'python3-dbusmock is not installed for {sys.executable}: {error}\n')
        sys.exit(77)
    if shutil.which('dbus-daemon') is None:
        sys.stderr.write('dbus-daemon is not installed (Debian package dbus)\n')
        sys.exit(77)

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
        services = [  # template, on the system bus, name, path, parameters, wanted
            (os.path.join(HERE, 'logind_inhibit.py'), True, 'org.freedesktop.login1', '/org/freedesktop/login1',
             None, 'logind' not in without),
            ('upower', True, 'org.freedesktop.UPower', '/org/freedesktop/UPower',
             {'OnBattery': arguments.on_battery}, 'upower' not in without),
            (os.path.join(HERE, 'systemd_units.py'), True, 'org.freedesktop.systemd1', '/org/freedesktop/systemd1',
             None, arguments.systemd),
            ('notification_daemon', False, 'org.freedesktop.Notifications', '/org/freedesktop/Notifications',
             None, arguments.notifications),
            (os.path.join(HERE, 'xdg_portal_inhibit.py'), False, 'org.freedesktop.portal.Desktop',
             '/org/freedesktop/portal/desktop', None, 'portal' not in without),
            ('polkitd', True, *POLKIT, None, arguments.polkit),
        ]
        environment = dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=addresses['system'],
                           DBUS_SESSION_BUS_ADDRESS=addresses['session'])
        started = []
        for template, system_bus, name, path, parameters, wanted in services:
            if wanted:
                mock = subprocess.Popen([sys.executable, '-m', 'dbusmock', '--template', template,
                                         '--system' if system_bus else '--session',
                                         *(['--parameters', json.dumps(parameters)] if parameters else [])],
                                        env=environment, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
                children.append(mock)
                started.append((addresses['system' if system_bus else 'session'], name, path, mock))
        for address, name, path, mock in started:
            wait_for_service(address, name, path, mock)
        if arguments.polkit in ('allow', 'hang'):
            bus = dbus.bus.BusConnection(addresses['system'])
            authority = dbus.Interface(bus.get_object(*POLKIT), dbusmock.MOCK_IFACE)
            if arguments.polkit == 'allow':
                authority.SetAllowed(['com.staywake.app.lidhelper.hold'])
            else:
                authority.SimulateHang(True)
            bus.close()
        print(json.dumps(addresses), flush=True)
        sys.stdin.read()
    except Exception as error:  # pylint: disable=broad-except
        sys.stderr.write(f'mock buses failed: {error}\n')
    tear_down()


if __name__ == '__main__':
    main()
