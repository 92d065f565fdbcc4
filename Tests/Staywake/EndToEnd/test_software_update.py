"""A software update through the real app, served from 127.0.0.1 and signed by scripts/sign-update with a new key:
only a real process shows that the app quits into the installed one and that it restores the session."""

import functools
import http.server
import os
import pathlib
import plistlib
import shutil
import signal
import subprocess
import threading
import time
import unittest

from staywake_e2e import APP_NAME, REQUESTED, UNTIL, Desktop, eventually

SIGN_UPDATE = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', '..', 'scripts', 'sign-update')


class SoftwareUpdateTests(unittest.TestCase):

    def test_a_verified_package_installs_and_the_app_quits_into_the_new_one_with_its_session(self):
        desktop = self.enterContext(Desktop())
        folder = pathlib.Path(desktop.folder)
        (served := folder / 'served').mkdir()
        server = http.server.ThreadingHTTPServer(
            ('127.0.0.1', 0), functools.partial(http.server.SimpleHTTPRequestHandler, directory=served))
        threading.Thread(target=server.serve_forever, daemon=True).start()
        self.addCleanup(server.server_close)
        self.addCleanup(server.shutdown)
        url = f'http://127.0.0.1:{server.server_address[1]}/'
        # Version 1.1.0 as a Debian package signed with a new key.
        key, package = folder / 'release-key.pem', served / 'staywake.deb'
        public_key = subprocess.run([SIGN_UPDATE, 'new-key', key], check=True, capture_output=True, text=True).stdout
        (folder / 'package' / 'DEBIAN').mkdir(parents=True)
        (folder / 'package' / 'DEBIAN' / 'control').write_text(
            'Package: staywake\nVersion: 1.1.0-1\nArchitecture: all\nMaintainer: x <x@x.invalid>\nDescription: x\n')
        subprocess.run(['dpkg-deb', '--root-owner-group', '-b', folder / 'package', package], check=True,
                       capture_output=True)
        item = subprocess.run([SIGN_UPDATE, 'item', key, package, 'https://updates.invalid/staywake.deb'], check=True,
                              capture_output=True, text=True).stdout.replace('https://updates.invalid/', url)
        (served / 'appcast.xml').write_text(
            '<?xml version="1.0" encoding="utf-8"?>\n<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/'
            f'xml-namespaces/sparkle"><channel><title>Staywake</title>{item}</channel></rss>')
        # A copy of the built bundle whose Info.plist names the feed, the key and the installer.
        built, contents = pathlib.Path(os.environ['STAYWAKE_APP']).parent.parent, folder / 'Staywake.app' / 'Contents'
        (contents / 'bin').mkdir(parents=True)
        program = shutil.copy2(os.environ['STAYWAKE_APP'], contents / 'bin' / 'Staywake')
        shutil.copytree(built / 'Resources', contents / 'Resources')
        shutil.copytree(built / 'Helpers', contents / 'Helpers')
        (contents / 'Info.plist').write_bytes(plistlib.dumps({
            **plistlib.loads((built / 'Info.plist').read_bytes()), 'CFBundleVersion': '1.0.0',
            'CFBundleShortVersionString': '1.0', 'SUFeedURL': url + 'appcast.xml', 'SUPublicEDKey': public_key.strip(),
            'StaywakeUpdateInstaller': ['cp', '-t', str(folder)]}))

        # A relaunched app is no child of the desktop's: it is ended before the desktop goes.
        self.addCleanup(lambda: [os.kill(int(pid), signal.SIGKILL) for pid in subprocess.run(
            ['pgrep', '-f', str(program)], capture_output=True, text=True).stdout.split()])

        until = time.time() + 3600
        desktop.write_settings({REQUESTED: True, UNTIL: until})
        app = desktop.launch(program=str(program))
        desktop.menu(app, 'Check for Updates…')
        desktop.press(app, 'Install Update')
        self.assertEqual(app.process.wait(20), 0, 'the app did not quit by itself for the relaunch')
        [installed] = folder.glob('staywake-*.deb')  # the installer copied what it was handed
        self.assertEqual(installed.read_bytes(), package.read_bytes())
        eventually(lambda: desktop.session_bus.name_has_owner(APP_NAME), 'the relaunched app on the bus')
        self.assertEqual(desktop.settings().get(REQUESTED), True)
        self.assertAlmostEqual(desktop.settings().get(UNTIL), until, delta=0.001)
        eventually(desktop.idle_locks, 'the relaunched app\'s lock')
