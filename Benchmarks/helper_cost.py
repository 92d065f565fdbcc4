#!/usr/bin/python3
"""Measures what the lid helper costs: the real helper binary in a bundle
beside a compiled fake pmset (StaywakeFakePmset) and the bundle's file hasher, in a private /run (a mount namespace of its
own, so it needs root), asking a mocked polkit on a private system bus.

Prints JSON lines: the helper's PSS, RSS, the part of its PSS that ICU's data
library takes, its wakeups per second and the fake pmset's invocations over a
window, with no client and with one lease held (renewed every 10 s); then the
round trip of back-to-back renewals through the app's lease client, with
both processes' descriptors and RSS before and after, and, for comparison,
how long starting the fake pmset alone takes right after.

  helper_cost.py --helper PATH --client PATH --pmset PATH [--window SECONDS] [--renewals N]
"""

import argparse
import contextlib
import json
import os
import plistlib
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)
sys.dont_write_bytecode = True
from idle_cost import context_switches, memory, pss_by_mapping  # noqa: E402  pylint: disable=wrong-import-position

MOCK_BUSES = os.path.join(ROOT, 'Tests', 'Staywake', 'System', 'mock_buses.py')
SETTLE = 10.0


def icu_pss(pid):
    """KiB of the process's PSS that ICU's libraries (code and data) take."""
    return sum(kib for name, kib in pss_by_mapping(pid).items() if name.startswith('libicu'))


def descriptors(pid):
    return len(os.listdir(f'/proc/{pid}/fd'))


class Helper:
    """The helper running in its bundle, and what it needs around it."""

    def __init__(self, binary, pmset, folder):
        self.run = os.path.join(folder, 'run')
        self.helpers = os.path.join(folder, 'Staywake.app', 'Contents', 'Helpers')
        os.makedirs(self.run)
        os.makedirs(self.helpers)
        self.program = os.path.join(self.helpers, 'StaywakeLidHelper')
        shutil.copy(binary, self.program)
        shutil.copy(pmset, os.path.join(self.helpers, 'pmset'))
        # The helper hashes program files with the bundle's hasher beside it.
        shutil.copy(os.path.join(os.path.dirname(binary), 'StaywakeFileHash'), self.helpers)
        with open(os.path.join(folder, 'Staywake.app', 'Contents', 'Info.plist'), 'wb') as file:
            plistlib.dump({'CFBundleIdentifier': 'com.staywake.app', 'CFBundleShortVersionString': '1.0',
                           'CFBundleVersion': '1'}, file)
        with open(os.path.join(self.helpers, 'pmset.state'), 'w', encoding='ascii') as file:
            file.write('0\n')
        self.socket = os.path.join(self.run, 'staywake', 'lidhelper.sock')
        self.output = open(os.path.join(folder, 'helper-output'), 'w', encoding='utf-8')  # noqa: SIM115
        self.buses = subprocess.Popen(['/usr/bin/python3', MOCK_BUSES, '--without=upower,portal', '--polkit=allow'],
                                      stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        system_bus = json.loads(self.buses.stdout.readline())['system']
        # sh execs the helper, so its pid is the helper's.
        self.process = subprocess.Popen(
            ['unshare', '--mount', '--propagation', 'private', 'sh', '-c', 'mount --rbind "$0" /run && exec "$1"',
             self.run, os.path.join(self.helpers, 'StaywakeLidHelper')],
            env=dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=system_bus), stdin=subprocess.DEVNULL,
            stdout=self.output, stderr=self.output)
        deadline = time.monotonic() + 20
        while not os.path.exists(self.socket):
            if self.process.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError(f'the helper did not listen (status {self.process.poll()}):\n{self.log()}')
            time.sleep(0.05)

    def log(self):
        with open(self.output.name, encoding='utf-8', errors='replace') as file:
            return file.read()

    def pmset_calls(self, since):
        """The fake pmset's command lines since `since` (wall clock)."""
        with contextlib.suppress(FileNotFoundError), \
                open(os.path.join(self.helpers, 'pmset.calls'), encoding='utf-8') as file:
            return [line.split(' ', 1)[1].strip() for line in file if float(line.split(' ', 1)[0]) >= since]
        return []

    def close(self):
        for process in (self.process,):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        self.buses.stdin.close()
        self.buses.wait(timeout=20)
        self.output.close()


def idle_figures(helper, window, name):
    pid = helper.process.pid
    started = time.time()
    before = context_switches(pid)
    time.sleep(window)
    calls = helper.pmset_calls(started)
    mappings = pss_by_mapping(pid)
    return {'name': name, **memory(pid), 'icu_pss': icu_pss(pid),
            'largest_mappings': sorted(mappings.items(), key=lambda item: -item[1])[:6],
            'wakeups_per_s': (context_switches(pid) - before) / window, 'pmset_reads': calls.count('-g'),
            'pmset_writes': len(calls) - calls.count('-g'), 'window_s': window}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--helper', required=True)
    parser.add_argument('--client', required=True)
    parser.add_argument('--pmset', required=True, help='the compiled fake pmset')
    parser.add_argument('--window', type=float, default=20.0, help='seconds over which wakeups and pmset calls count')
    parser.add_argument('--renewals', type=int, default=10000)
    options = parser.parse_args()
    if os.geteuid() != 0:
        sys.exit('cannot measure the helper: it runs in a mount namespace of its own, which needs root')
    with tempfile.TemporaryDirectory(prefix='staywake-bench-') as folder:
        helper = Helper(options.helper, options.pmset, folder)
        try:
            time.sleep(SETTLE)
            print(json.dumps(idle_figures(helper, options.window, 'helper, no client')), flush=True)

            holder = subprocess.Popen([options.client, helper.socket, helper.program, 'hold'], stdin=subprocess.PIPE,
                                      stdout=subprocess.PIPE, text=True)
            answer = holder.stdout.readline().strip()
            if not answer.startswith('granted'):
                raise RuntimeError(f'the lease was not granted: {answer!r}\n{helper.log()}')
            started = time.time()
            held = idle_figures(helper, options.window, 'helper, one lease held')
            holder.stdin.close()
            renewed = [float(line.split()[1]) for line in holder.stdout if line.startswith('granted ')]
            holder.wait(timeout=20)
            held['renewals'] = sum(1 for at in renewed if started <= at <= started + options.window)
            print(json.dumps(held), flush=True)

            pid = helper.process.pid
            before = {'helper_fds_before': descriptors(pid), 'helper_rss_before': memory(pid)['rss']}
            result = subprocess.run([options.client, helper.socket, helper.program, 'renew', str(options.renewals)],
                                    capture_output=True, text=True, check=False)
            if result.returncode != 0:
                raise RuntimeError(f'the renewals failed: {result.stdout}{result.stderr}\n{helper.log()}')
            after = {'helper_fds_after': descriptors(pid), 'helper_rss_after': memory(pid)['rss']}
            spawns = subprocess.run([options.client, 'spawn', os.path.join(helper.helpers, 'pmset'),
                                     str(min(options.renewals, 2000))], capture_output=True, text=True, check=True)
            print(json.dumps({'name': 'lease round trip', **json.loads(result.stdout), **before, **after,
                              **json.loads(spawns.stdout), 'load': os.getloadavg()[0]}),
                  flush=True)
        finally:
            helper.close()


if __name__ == '__main__':
    main()
