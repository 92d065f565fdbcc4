"""Software updates through the real app: a feed and packages served from
127.0.0.1, signed with a key made here by scripts/sign-update, and a stand-in
installer that records what it was handed."""

import contextlib
import datetime
import http.server
import os
import plistlib
import shutil
import signal
import subprocess
import threading
import time

from staywake_e2e import APP_NAME, EndToEndCase, eventually

SIGN_UPDATE = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', '..', 'scripts', 'sign-update')
FEED = '/appcast.xml'
PACKAGE = '/staywake_1.1.0_all.deb'
REQUESTED = 'com.staywake.isAwakeRequested'
UNTIL = 'com.staywake.awakeUntil'
LONG_AGO = datetime.datetime(2001, 9, 9)  # a last check long ago: a scheduled check is due at once
FAILED = 'Staywake could not check for updates.'
QUESTION = 'Check for updates automatically?'


def running(program):
    """The ids of the processes running `program`."""
    found = []
    for pid in filter(str.isdigit, os.listdir('/proc')):
        with contextlib.suppress(OSError):
            if os.readlink(f'/proc/{pid}/exe') == program:
                found.append(int(pid))
    return found


class Server(http.server.ThreadingHTTPServer):
    """Serves `routes` (path -> (status, body)) and records each request's path and User-Agent."""

    def __init__(self):
        self.routes, self.requests = {}, []
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):  # pylint: disable=invalid-name
                server.requests.append((self.path, self.headers.get('User-Agent')))
                status, body = server.routes.get(self.path, (404, b''))
                self.send_response(status)
                self.send_header('Content-Length', str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *_):
                pass

        super().__init__(('127.0.0.1', 0), Handler)
        threading.Thread(target=self.serve_forever, daemon=True).start()

    def url(self, path):
        return f'http://127.0.0.1:{self.server_address[1]}{path}'

    def count(self, path):
        return [requested for requested, _ in self.requests].count(path)


class Release:
    """Version 1.1.0 as a Debian package, its key and its feed."""

    def __init__(self, folder, server):
        key = os.path.join(folder, 'release-key.pem')
        self.public_key = subprocess.run([SIGN_UPDATE, 'new-key', key], check=True, capture_output=True,
                                         text=True).stdout.strip()
        os.makedirs(os.path.join(folder, 'package', 'DEBIAN'))
        with open(os.path.join(folder, 'package', 'DEBIAN', 'control'), 'w', encoding='utf-8') as file:
            file.write('Package: staywake\nVersion: 1.1.0-1\nArchitecture: all\n'
                       'Maintainer: Staywake <dev@staywake.app>\nDescription: the update under test\n')
        package = os.path.join(folder, 'staywake.deb')
        subprocess.run(['dpkg-deb', '--root-owner-group', '-b', os.path.join(folder, 'package'), package],
                       check=True, capture_output=True)
        with open(package, 'rb') as file:
            self.package = file.read()
        item = subprocess.run([SIGN_UPDATE, 'item', key, package, 'https://updates.invalid/staywake.deb'],
                              check=True, capture_output=True, text=True).stdout
        item = item.replace('https://updates.invalid/staywake.deb', server.url(PACKAGE)).replace(
            '<title>', '<description><![CDATA[<h3>What is new</h3><p>Wakes up faster.</p>'
                       '<img src="http://127.0.0.1:1/remote.png">]]></description><title>')
        self.feed = ('<?xml version="1.0" encoding="utf-8"?>\n<rss version="2.0" '
                     'xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">'
                     f'<channel><title>Staywake</title>{item}</channel></rss>').encode()
        server.routes.update({FEED: (200, self.feed), PACKAGE: (200, self.package)})


class SoftwareUpdateTests(EndToEndCase):

    def setUp(self):
        self.server = Server()
        self.addCleanup(self.server.server_close)
        self.addCleanup(self.server.shutdown)

    def bundle(self, desktop, key=''):
        """A copy of the built bundle whose Info.plist names the test's feed,
        key and stand-in installer; returns the program in it. A relaunched
        app is no child of the desktop's, so it is ended here before the desktop goes."""
        built = os.path.dirname(os.path.dirname(os.environ['STAYWAKE_APP']))
        contents = os.path.join(desktop.folder, 'Staywake.app', 'Contents')
        program = os.path.join(contents, 'bin', 'Staywake')
        os.makedirs(os.path.dirname(program))
        shutil.copy2(os.environ['STAYWAKE_APP'], program)
        shutil.copytree(os.path.join(built, 'Resources'), os.path.join(contents, 'Resources'))
        with open(os.path.join(built, 'Info.plist'), 'rb') as file:
            info = plistlib.load(file)
        self.installer = os.path.join(desktop.folder, 'installer')
        info.update(CFBundleVersion='1.0.0', CFBundleShortVersionString='1.0', SUFeedURL=self.server.url(FEED),
                    SUPublicEDKey=key, StaywakeUpdateInstaller=[self.installer])
        with open(os.path.join(contents, 'Info.plist'), 'wb') as file:
            plistlib.dump(info, file)
        self.write_installer(0)
        self.addCleanup(lambda: [os.kill(pid, signal.SIGKILL) for pid in running(program)])
        return program

    def write_installer(self, status):
        with open(self.installer, 'w', encoding='utf-8') as file:
            file.write(f'#!/bin/sh\nprintf "%s\\n" "$@" > "{self.installer}.args"\ncp "$1" "{self.installer}.received"\n'
                       if status == 0 else f'#!/bin/sh\nexit {status}\n')
        os.chmod(self.installer, 0o755)

    def test_only_a_whole_verified_package_is_installed_and_the_relaunch_keeps_the_session(self):
        desktop = self.open_desktop()
        release = Release(desktop.folder, self.server)
        until = time.time() + 3600
        desktop.write_settings({REQUESTED: True, UNTIL: until})
        program = self.bundle(desktop, release.public_key)
        app = desktop.launch(program=program)
        downloads = os.path.join(desktop.folder, 'cache', 'staywake', 'updates')
        size = len(release.package)
        cases = (  # what is served, the installer's status, what the user is told
            (release.package[:-1] + bytes([release.package[-1] ^ 1]), 0,
             'Its signature does not match the package: it is not the release that was signed.'),
            (release.package[:-1], 0, f'The download has {size - 1} bytes, but the update announced {size}.'),
            (release.package, 1, 'The installer ended with status 1.'),
        )
        for served, status, told in cases:
            with self.subTest(told):
                self.server.routes[PACKAGE] = (200, served)
                self.write_installer(status)
                desktop.menu(app, 'Check for Updates…')
                desktop.find(app, 'Staywake 1.1 is now available — you have 1.0. Would you like to install it now?')
                desktop.find(app, 'Release Notes')  # the notes view, shown because the item has notes
                desktop.press(app, 'Install Update')
                desktop.find(app, told, 'label')
                self.assertEqual(os.listdir(downloads), [])
                self.assertFalse(os.path.exists(self.installer + '.args'), 'a bad package reached the installer')
                desktop.press(app, 'OK')
                eventually(lambda: not desktop.showing(app, told), 'the message to close')

        self.server.routes[PACKAGE] = (200, release.package)
        self.write_installer(0)
        desktop.menu(app, 'Check for Updates…')
        desktop.press(app, 'Install Update')
        self.assertEqual(app.wait_exit(), 0, 'the app did not quit by itself for the relaunch')
        with open(self.installer + '.args', encoding='utf-8') as file:
            self.assertEqual(os.path.dirname(file.read().strip()), downloads)
        with open(self.installer + '.received', 'rb') as file:
            self.assertEqual(file.read(), release.package)
        self.assertEqual({agent for _, agent in self.server.requests}, {'Staywake/1.0 (1.0.0; Linux)'})
        eventually(lambda: running(program), 'the relaunched app')
        eventually(lambda: desktop.session_bus.name_has_owner(APP_NAME), 'the relaunched app on the bus')
        self.assertEqual(desktop.settings().get(REQUESTED), True)
        self.assertAlmostEqual(desktop.settings().get(UNTIL), until, delta=0.001)
        eventually(desktop.idle_locks, 'the relaunched app\'s lock')

    def test_automatic_checks_are_asked_about_at_the_second_launch_and_only_a_user_check_tells_a_failure(self):
        self.server.routes[FEED] = (500, b'')
        for answer, scheduled in (("Don't Check", 0), ('Check Automatically', 1)):
            with self.subTest(answer):
                desktop = self.open_desktop(update_question=True)
                self.server.requests.clear()
                program = self.bundle(desktop)
                first = desktop.launch(program=program)
                self.assertIs(desktop.settings().get('SUHasLaunchedBefore'), True)
                self.assertFalse(desktop.showing(first, QUESTION), 'asked at the first launch')
                first.stop()
                desktop.write_settings({**desktop.settings(), 'SULastCheckTime': LONG_AGO})
                app = desktop.launch(program=program)
                desktop.press(app, answer)
                eventually(lambda: 'SUEnableAutomaticChecks' in desktop.settings(), 'the answer to be stored')
                self.assertIs(desktop.settings()['SUEnableAutomaticChecks'], scheduled == 1)
                if scheduled:
                    eventually(lambda: 'the scheduled update check failed: The server answered 500' in app.output(),
                               'the log line')
                    self.assertFalse(desktop.showing(app, FAILED))
                desktop.menu(app, 'Check for Updates…')
                desktop.find(app, FAILED, 'label')
                desktop.find(app, 'The server answered 500 Internal Server Error.', 'label')
                self.assertEqual(self.server.count(FEED), 1 + scheduled)
                app.stop()
