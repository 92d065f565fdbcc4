"""Software updates through the real app: a feed and packages served from
127.0.0.1, signed with a key made here by scripts/sign-update, and a stand-in
installer that records what it was handed."""

import contextlib
import datetime
import http.server
import os
import plistlib
import re
import shutil
import signal
import subprocess
import threading
import time

from staywake_e2e import APP_NAME, EndToEndCase, eventually, nodes
from test_quit import ACKNOWLEDGED, LidHelper

HERE = os.path.dirname(os.path.abspath(__file__))
SIGN_UPDATE = os.path.join(HERE, '..', '..', '..', 'scripts', 'sign-update')
FEED = '/appcast.xml'
PACKAGE = '/staywake_1.1.0_all.deb'
REQUESTED = 'com.staywake.isAwakeRequested'
UNTIL = 'com.staywake.awakeUntil'
LONG_AGO = datetime.datetime(2001, 9, 9)  # a last check long ago: a scheduled check is due at once
FAILED = 'Staywake could not check for updates.'
QUESTION = 'Check for updates automatically?'
OFFER = 'Staywake 1.1 is now available — you have 1.0. Would you like to install it now?'


def running(program):
    """The ids of the processes running `program`."""
    found = []
    for pid in filter(str.isdigit, os.listdir('/proc')):
        with contextlib.suppress(OSError):
            if os.readlink(f'/proc/{pid}/exe') == program:
                found.append(int(pid))
    return found


class Server:
    """Serves `routes` (path -> (status, headers, body)) and counts requests."""

    def __init__(self):
        self.routes = {}
        self.requests = []
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):  # pylint: disable=invalid-name
                server.requests.append((self.path, self.headers.get('User-Agent')))
                status, headers, body = server.routes.get(self.path, (404, {}, b''))
                self.send_response(status)
                for name, value in headers.items():
                    self.send_header(name, value)
                self.send_header('Content-Length', str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *_):
                pass

        self.http = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)
        self.thread = threading.Thread(target=self.http.serve_forever, daemon=True)
        self.thread.start()

    def url(self, path):
        return f'http://127.0.0.1:{self.http.server_address[1]}{path}'

    def count(self, path):
        return sum(1 for requested, _ in self.requests if requested == path)

    def close(self):
        self.http.shutdown()
        self.http.server_close()


class Release:
    """Version 1.1.0 as a Debian package, its key and its feed."""

    def __init__(self, folder, server):
        self.folder = folder
        key = os.path.join(folder, 'release-key.pem')
        self.public_key = subprocess.run([SIGN_UPDATE, 'new-key', key], check=True, capture_output=True,
                                         text=True).stdout.strip()
        control = os.path.join(folder, 'package', 'DEBIAN')
        os.makedirs(control)
        with open(os.path.join(control, 'control'), 'w', encoding='utf-8') as file:
            file.write('Package: staywake\nVersion: 1.1.0-1\nArchitecture: all\n'
                       'Maintainer: Staywake <dev@staywake.app>\nDescription: the update under test\n')
        package = os.path.join(folder, 'staywake.deb')
        subprocess.run(['dpkg-deb', '--root-owner-group', '-b', os.path.join(folder, 'package'), package],
                       check=True, capture_output=True)
        with open(package, 'rb') as file:
            self.package = file.read()
        item = subprocess.run([SIGN_UPDATE, 'item', key, package, 'https://updates.invalid/staywake.deb'],
                              check=True, capture_output=True, text=True).stdout
        item = item.replace('https://updates.invalid/staywake.deb', server.url(PACKAGE))
        item = item.replace('<title>', '<description><![CDATA[<h3>What is new</h3><p>Wakes up faster.</p>'
                                       '<img src="http://127.0.0.1:1/remote.png">]]></description><title>')
        self.feed = ('<?xml version="1.0" encoding="utf-8"?>\n<rss version="2.0" '
                     'xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">'
                     f'<channel><title>Staywake</title>{item}</channel></rss>').encode()


class SoftwareUpdateTests(EndToEndCase):

    def setUp(self):
        self.server = Server()
        self.addCleanup(self.server.close)

    def bundle(self, desktop, key=''):
        """A copy of the built bundle whose Info.plist names the test's feed,
        key and stand-in installer; returns the program in it. A relaunched
        app is no child of the desktop's, so it is ended here before the
        desktop goes."""
        built = os.path.dirname(os.path.dirname(os.environ['STAYWAKE_APP']))
        contents = os.path.join(desktop.folder, 'Staywake.app', 'Contents')
        os.makedirs(os.path.join(contents, 'bin'))
        program = os.path.join(contents, 'bin', 'Staywake')
        shutil.copy2(os.environ['STAYWAKE_APP'], program)
        shutil.copytree(os.path.join(built, 'Resources'), os.path.join(contents, 'Resources'))
        with open(os.path.join(built, 'Info.plist'), 'rb') as file:
            info = plistlib.load(file)
        self.installer = os.path.join(desktop.folder, 'installer')
        with open(self.installer, 'w', encoding='utf-8') as file:
            file.write(f'#!/bin/sh\nprintf "%s\\n" "$@" > "{self.installer}.args"\n'
                       f'cp "$1" "{self.installer}.received"\n')
        os.chmod(self.installer, 0o755)
        info.update(CFBundleVersion='1.0.0', CFBundleShortVersionString='1.0', SUFeedURL=self.server.url(FEED),
                    SUPublicEDKey=key, StaywakeUpdateInstaller=[self.installer])
        with open(os.path.join(contents, 'Info.plist'), 'wb') as file:
            plistlib.dump(info, file)
        self.addCleanup(lambda: [os.kill(pid, signal.SIGKILL) for pid in running(program)])
        return program

    @staticmethod
    def set_feed(program, url):
        info_plist = os.path.join(os.path.dirname(os.path.dirname(program)), 'Info.plist')
        with open(info_plist, 'rb') as file:
            info = plistlib.load(file)
        info['SUFeedURL'] = url
        with open(info_plist, 'wb') as file:
            plistlib.dump(info, file)

    @staticmethod
    def launch(desktop, program, **environment):
        built = os.environ['STAYWAKE_APP']
        os.environ['STAYWAKE_APP'] = program
        try:
            return desktop.launch(**environment)
        finally:
            os.environ['STAYWAKE_APP'] = built

    @staticmethod
    def find(desktop, app, name, role=None):
        """The showing node of any of the app's windows with this name (a
        string or a compiled pattern) and role."""
        def matching():
            found = [node for node in nodes(desktop.accessible(app)) if 'showing' in node['states']
                     and (name.search(node['name']) if hasattr(name, 'search') else node['name'] == name)
                     and (role is None or node['role'] == role)]
            return found[0] if found else None
        return eventually(matching, f'a showing {role or "element"} named {getattr(name, "pattern", name)!r}')

    def press(self, desktop, app, name, role='push button'):
        x, y, width, height = self.find(desktop, app, name, role)['extents']
        desktop.click(x + width // 2, y + height // 2)

    def check_for_updates(self, desktop, app):
        _, icon = desktop.tray_icon(app)
        desktop.click(*icon.centre, button=3)
        self.press(desktop, app, 'Check for Updates…', 'menu item')

    def test_only_a_verified_package_is_installed_and_the_relaunch_keeps_the_session(self):
        desktop = self.open_desktop(update_question=True)
        release = Release(desktop.folder, self.server)
        self.server.routes[FEED] = (200, {}, release.feed)
        tampered = bytearray(release.package)
        tampered[-1] ^= 1
        self.server.routes[PACKAGE] = (200, {}, bytes(tampered))
        until = time.time() + 3600
        desktop.write_settings({REQUESTED: True, UNTIL: until, 'SUHasLaunchedBefore': True,
                                'SUEnableAutomaticChecks': False})
        program = self.bundle(desktop, release.public_key)
        app = self.launch(desktop, program)

        self.check_for_updates(desktop, app)
        self.find(desktop, app, OFFER, 'label')
        self.find(desktop, app, 'Release Notes')  # the notes view, shown because the item has notes
        self.press(desktop, app, 'Install Update')
        self.find(desktop, app, 'Staywake deleted the downloaded update and installed nothing.', 'label')
        self.find(desktop, app, 'Its signature does not match the package: it is not the release that was signed.',
                  'label')
        downloads = os.path.join(desktop.folder, 'cache', 'staywake', 'updates')
        self.assertEqual(os.listdir(downloads), [])
        self.assertFalse(os.path.exists(self.installer + '.args'), 'a tampered package reached the installer')
        self.press(desktop, app, 'OK')

        self.server.routes[PACKAGE] = (200, {}, release.package)
        self.check_for_updates(desktop, app)
        self.press(desktop, app, 'Install Update')
        self.assertEqual(app.wait_exit(), 0, 'the app did not quit by itself for the relaunch')
        with open(self.installer + '.args', encoding='utf-8') as file:
            self.assertEqual(os.path.dirname(file.read().strip()), downloads)
        with open(self.installer + '.received', 'rb') as file:
            self.assertEqual(file.read(), release.package)
        agent = {agent for _, agent in self.server.requests}
        self.assertEqual(agent, {'Staywake/1.0 (1.0.0; Linux)'})

        (pid,) = eventually(lambda: running(program), 'the relaunched app')
        eventually(lambda: desktop.session_bus.name_has_owner(APP_NAME), 'the relaunched app on the bus')
        self.assertNotEqual(pid, app.pid)
        settings = desktop.settings()
        self.assertIs(settings.get(REQUESTED), True)
        self.assertAlmostEqual(settings.get(UNTIL), until, delta=0.001)
        eventually(lambda: [lock for lock in desktop.inhibitors() if lock[0] == 'idle'], 'the relaunched lock')

    def test_a_wrong_length_or_a_failing_installer_leaves_the_running_app_as_it_was(self):
        for case in ('wrong length', 'failing installer'):
            with self.subTest(case):
                desktop = self.open_desktop()
                release = Release(desktop.folder, self.server)
                self.server.routes[FEED] = (200, {}, release.feed)
                shorter = case == 'wrong length'
                self.server.routes[PACKAGE] = (200, {}, release.package[:-1] if shorter else release.package)
                desktop.write_settings({REQUESTED: True, 'SUHasLaunchedBefore': True, 'SUEnableAutomaticChecks': False})
                program = self.bundle(desktop, release.public_key)
                if not shorter:
                    with open(self.installer, 'w', encoding='utf-8') as file:
                        file.write('#!/bin/sh\nexit 1\n')
                app = self.launch(desktop, program)

                self.check_for_updates(desktop, app)
                self.press(desktop, app, 'Install Update')
                if shorter:
                    self.find(desktop, app, f'The download has {len(release.package) - 1} bytes, but the update '
                                            f'announced {len(release.package)}.', 'label')
                    self.assertEqual(os.listdir(os.path.join(desktop.folder, 'cache', 'staywake', 'updates')), [])
                    self.assertFalse(os.path.exists(self.installer + '.args'))
                else:
                    self.find(desktop, app, 'The update was not installed; Staywake is unchanged.', 'label')
                    self.find(desktop, app, 'The installer ended with status 1.', 'label')
                self.assertIsNone(app.process.poll(), 'the app ended')
                self.assertIs(desktop.settings().get(REQUESTED), True)
                self.assertTrue([lock for lock in desktop.inhibitors() if lock[0] == 'idle'], 'the lock went')

    def test_night_brew_during_an_update_gives_its_lease_back_before_the_relaunch(self):
        if os.geteuid() != 0 and not os.environ.get('STAYWAKE_NO_SKIP'):
            self.skipTest('the lid helper runs in a mount namespace of its own, which needs root')
        desktop = self.open_desktop(polkit='allow')
        release = Release(desktop.folder, self.server)
        self.server.routes[FEED] = (200, {}, release.feed)
        self.server.routes[PACKAGE] = (200, {}, release.package)
        desktop.write_settings({ACKNOWLEDGED: True, 'SUHasLaunchedBefore': True, 'SUEnableAutomaticChecks': False})
        program = self.bundle(desktop, release.public_key)
        # The app finds the helper it registers in its own bundle.
        built = os.path.dirname(os.path.dirname(os.environ['STAYWAKE_APP']))
        shutil.copytree(os.path.join(built, 'Helpers'), os.path.join(os.path.dirname(os.path.dirname(program)), 'Helpers'))
        helper = LidHelper(desktop, os.path.join(built, 'Helpers', 'StaywakeLidHelper'))
        self.addCleanup(helper.close)
        app = self.launch(desktop, program, wrapper=helper.wrapper)
        desktop.open_panel(app)
        desktop.press(app, 'Night Brew', role='check box')
        eventually(lambda: helper.setting() == '1', 'the helper to disable sleep for the lease')
        desktop.key('Escape')
        # A right click while the panel is still up only closes the panel.
        eventually(lambda: desktop.panel(app) is None, 'the panel to close')

        self.check_for_updates(desktop, app)
        self.press(desktop, app, 'Install Update')
        self.assertEqual(app.wait_exit(), 0, 'the app did not quit by itself for the relaunch')
        self.assertIn('wrote disablesleep 0, and read it back', helper.messages(),
                      'the app ended before the helper gave the setting back')
        eventually(lambda: running(program), 'the relaunched app')
        eventually(lambda: desktop.session_bus.name_has_owner(APP_NAME), 'the relaunched app on the bus')
        self.assertEqual(helper.setting(), '0', 'the relaunched app took Night Brew up again')

    def test_automatic_checks_are_asked_about_at_the_second_launch_and_a_refusal_makes_no_request(self):
        for answer, scheduled in (("Don't Check", 0), ('Check Automatically', 1)):
            with self.subTest(answer):
                desktop = self.open_desktop(update_question=True)
                self.server.requests.clear()
                self.server.routes[FEED] = (200, {}, b'<rss><channel/></rss>')
                program = self.bundle(desktop)
                first = self.launch(desktop, program)
                self.assertIs(desktop.settings().get('SUHasLaunchedBefore'), True)
                self.assertNotIn(QUESTION, [node['name'] for node in nodes(desktop.accessible(first))])
                first.stop()
                desktop.write_settings({**desktop.settings(), 'SULastCheckTime': LONG_AGO})

                second = self.launch(desktop, program)
                self.find(desktop, second, QUESTION, 'label')
                self.press(desktop, second, answer)
                eventually(lambda: 'SUEnableAutomaticChecks' in desktop.settings(), 'the answer to be stored')
                self.assertIs(desktop.settings()['SUEnableAutomaticChecks'], scheduled == 1)
                if scheduled:
                    eventually(lambda: self.server.count(FEED) == 1, 'the scheduled check')
                second.stop()

                # A third launch asks nothing; its user check is the only request.
                third = self.launch(desktop, program)
                self.check_for_updates(desktop, third)
                self.find(desktop, third, "You're up to date!", 'label')
                self.assertNotIn(QUESTION, [node['name'] for node in nodes(desktop.accessible(third))])
                self.assertEqual(self.server.count(FEED), 1 + scheduled)
                third.stop()

    def test_a_failed_check_is_told_to_the_user_and_only_logged_when_scheduled(self):
        desktop = self.open_desktop(update_question=True)
        program = self.bundle(desktop)
        refused = 'http://127.0.0.1:1' + FEED
        cases = (
            ('no network', refused, None, 'Connection refused'),
            ('an HTTP error', None, (500, {}, b''), 'The server answered 500 Internal Server Error.'),
            ('a redirect to http', None, (302, {'Location': 'http://localhost:1/appcast.xml'}, b''),
             'The server sent Staywake on to http://localhost:1/appcast.xml, which is not an https address.'),
            ('an oversize feed', None, (200, {}, b'<rss>' + b' ' * (1024 * 1024 + 1)),
             'The server offered 1048582 bytes, more than the 1048576 expected.'),
        )
        for case, feed, route, reason in cases:
            with self.subTest(case):
                self.set_feed(program, feed or self.server.url(FEED))
                self.server.routes[FEED] = route
                desktop.write_settings({'SUHasLaunchedBefore': True, 'SUEnableAutomaticChecks': True,
                                        'SULastCheckTime': LONG_AGO})
                app = self.launch(desktop, program)
                eventually(lambda: 'the scheduled update check failed:' in app.output(), 'the log line')
                self.assertIn(reason, app.output())
                self.assertFalse([node for node in nodes(desktop.accessible(app)) if node['name'] == FAILED])
                self.check_for_updates(desktop, app)
                self.find(desktop, app, FAILED, 'label')
                self.find(desktop, app, reason, 'label')
                app.stop()
