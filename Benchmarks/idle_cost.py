#!/usr/bin/python3
"""Measures what the Staywake app costs while it sits in the tray, against
the smallest Qt tray app (MinimalTray) on the same private desktop: Xvfb
with a trayer tray and private buses, as the end-to-end tests set it up.

For each app: the time from exec until its icon is embedded in the tray
(median of several launches, taken in turn with the other apps'), PSS and
RSS 10 s after a launch of its own, and its wakeups (voluntary plus
involuntary context switches of all its threads) over a window with the
panel closed. Prints one JSON object per app.

  idle_cost.py --app PATH --minimal PATH [--window SECONDS] [--launches N]
"""

import argparse
import glob
import json
import os
import select
import statistics
import subprocess
import sys
import time

from Xlib import X

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), 'Tests', 'Staywake', 'EndToEnd'))
sys.dont_write_bytecode = True
import staywake_e2e  # noqa: E402  pylint: disable=wrong-import-position

MEMORY_AFTER = 10.0
AWAKE_FOR = 3600.0


def memory(pid):
    """PSS and RSS in KiB from the process's smaps_rollup."""
    values = {}
    with open(f'/proc/{pid}/smaps_rollup', encoding='ascii') as rollup:
        for line in rollup:
            fields = line.split()
            if fields[0] in ('Pss:', 'Rss:'):
                values[fields[0][:-1].lower()] = int(fields[1])
    return values


def pss_by_mapping(pid):
    """KiB of PSS per mapped file's name (anonymous memory under its kind)."""
    totals, name = {}, None
    with open(f'/proc/{pid}/smaps', encoding='utf-8', errors='replace') as smaps:
        for line in smaps:
            fields = line.split()
            if '-' in fields[0] and len(fields) >= 5:  # a mapping's header line
                name = fields[5].rsplit('/', 1)[-1] if len(fields) >= 6 else '[anonymous]'
            elif fields[0] == 'Pss:':
                totals[name] = totals.get(name, 0) + int(fields[1])
    return totals


def context_switches(pid):
    """Voluntary plus involuntary context switches of all live threads."""
    total = 0
    for status in glob.glob(f'/proc/{pid}/task/*/status'):
        try:
            with open(status, encoding='ascii') as file:
                for line in file:
                    if line.startswith(('voluntary_ctxt_switches:', 'nonvoluntary_ctxt_switches:')):
                        total += int(line.split()[1])
        except FileNotFoundError:
            pass  # a thread that ended meanwhile
    return total


def launch(desktop, binary):
    """Starts `binary` on the desktop; the app and the seconds from exec
    until its icon was embedded in the tray: the X server's ReparentNotify
    for a window of its process moving from the root into the tray, read
    from this process's own connection as it arrives."""
    x = desktop.x
    root = x.screen().root
    root.change_attributes(event_mask=X.SubstructureNotifyMask)
    x.sync()
    while x.pending_events():
        x.next_event()
    started = time.monotonic()
    process = subprocess.Popen([binary], env=desktop.environment(), stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, errors='replace')
    app = staywake_e2e.App(process)
    desktop.apps.append(app)
    pid_atom = x.intern_atom('_NET_WM_PID')
    while True:
        select.select([x], [], [], 0.05)
        while x.pending_events():
            event = x.next_event()
            arrived = time.monotonic()
            if event.type != X.ReparentNotify or event.parent == root:
                continue
            pid = event.window.get_full_property(pid_atom, X.AnyPropertyType)
            if pid and pid.value[0] == process.pid:
                root.change_attributes(event_mask=X.NoEventMask)
                return app, arrived - started
        if process.poll() is not None:
            raise AssertionError(f'{binary} exited with {process.returncode}:\n{app.output()}')
        if time.monotonic() - started > 30:
            raise AssertionError(f'{binary} put no icon in the tray within 30 s:\n{app.output()}')


def write_settings(desktop, settings):
    # The question about automatic update checks comes at the second launch;
    # answered "no" here, as a user would have, so that no launch measures an
    # open dialog.
    desktop.write_settings({'SUEnableAutomaticChecks': False, **(settings() if settings else {})})


def start_times(runs, launches):
    """Each run's start times, its launches taken in turn with the other
    runs' on one desktop, so that a change in the machine's load while they
    are measured touches every run alike."""
    starts = {name: [] for name in runs}
    with staywake_e2e.Desktop() as desktop:
        for _ in range(launches):
            for name, (binary, settings) in runs.items():
                write_settings(desktop, settings)
                app, seconds = launch(desktop, binary)
                starts[name].append(seconds)
                app.stop()
    return starts


def settled_cost(binary, window, settings):
    """Memory some seconds after a launch, then wakeups over the window."""
    with staywake_e2e.Desktop() as desktop:
        write_settings(desktop, settings)
        app, _ = launch(desktop, binary)
        time.sleep(MEMORY_AFTER)
        result = {**memory(app.pid), 'pss_by_mapping': pss_by_mapping(app.pid)}
        before = context_switches(app.pid)
        time.sleep(window)
        result['wakeups_per_s'] = (context_switches(app.pid) - before) / window
        result['threads'] = len(os.listdir(f'/proc/{app.pid}/task'))
        return result


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--app', required=True)
    parser.add_argument('--minimal', required=True)
    parser.add_argument('--window', type=float, default=20.0, help='seconds over which wakeups are counted')
    parser.add_argument('--launches', type=int, default=25, help='launches whose median start time is taken')
    options = parser.parse_args()
    os.environ['STAYWAKE_APP'] = options.app
    reason = staywake_e2e.missing_requirement()
    if reason:
        sys.exit(f'cannot measure: {reason}')
    runs = {
        'MinimalTray': (options.minimal, None),
        'Staywake idle': (options.app, None),
        'Staywake awake with a deadline': (
            options.app,
            lambda: {'com.staywake.isAwakeRequested': True, 'com.staywake.awakeUntil': time.time() + AWAKE_FOR}),
    }
    starts = start_times(runs, options.launches)
    for name, (binary, settings) in runs.items():
        result = {'start_ms': 1000 * statistics.median(starts[name]),
                  'starts_ms': [round(1000 * seconds, 1) for seconds in starts[name]],
                  **settled_cost(binary, options.window, settings)}
        print(json.dumps({'name': name, **result}), flush=True)


if __name__ == '__main__':
    main()
