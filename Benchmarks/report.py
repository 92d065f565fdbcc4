#!/usr/bin/python3
"""Writes Benchmarks/results.md from the JSON lines the benchmarks printed.

  report.py RESULTS.jsonl WINDOW_SECONDS OUTPUT.md
"""

import json
import os
import platform
import subprocess
import sys


def qt_version():
    try:
        return subprocess.run(['pkg-config', '--modversion', 'Qt6Core'], capture_output=True, text=True,
                              check=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        return 'unknown'


def ratio(value, baseline):
    return f'{value / baseline:.2f}' if baseline else '—'


def rows(runs, window):
    """(figure, ours, baseline, ratio, target) rows, and how each was measured."""
    table, notes = app_rows(runs, window)
    table_panel, notes_panel = panel_rows(runs)
    table_helper, notes_helper = helper_rows(runs)
    return table + table_panel + table_helper, notes + notes_panel + notes_helper


def panel_rows(runs):
    """The panel's opening against MinimalTray's menu."""
    ours, floor = runs.get('Staywake panel'), runs.get('MinimalTray menu')
    if not ours or not floor:
        return [], []
    opens = ours['panel_opens']
    return [
        (f'Tray click to panel painted, ms, p50 of {opens}', f'{ours["panel_open_p50_ms"]:.0f}',
         f'{floor["panel_open_p50_ms"]:.0f}', ratio(ours['panel_open_p50_ms'], floor['panel_open_p50_ms']), '—'),
        (f'Tray click to panel painted, ms, max of {opens}', f'{ours["panel_open_max_ms"]:.0f}',
         f'{floor["panel_open_max_ms"]:.0f}', '—', '—'),
    ], [
        'Panel open: an XTest click on the tray icon, then the screen polled every 1 ms (python-xlib, in '
        'process) until a new top-level window is viewable and its pixels differ from what was there '
        'before the click; Escape closes it and the next click comes 0.5 s later. The baseline is a '
        '`QMenu` of five items that `Benchmarks/MinimalTray` pops up on a click (made on the first one), '
        'against our panel, which the app builds on its first opening (so the max includes building it) '
        'and lays out and paints on each.',
    ]


def app_rows(runs, window):
    """The app's figures against MinimalTray's."""
    floor = runs.get('MinimalTray')
    table, notes = [], []
    if floor is None:
        return table, notes
    for name in ('Staywake idle', 'Staywake awake with a deadline'):
        ours = runs.get(name)
        if ours is None:
            continue
        table += [
            (f'Start to tray icon embedded, ms ({name})', f'{ours["start_ms"]:.0f}', f'{floor["start_ms"]:.0f}',
             ratio(ours['start_ms'], floor['start_ms']), 'ratio ≤ 1.2'),
            (f'PSS after 10 s, KiB ({name})', f'{ours["pss"]}', f'{floor["pss"]}',
             ratio(ours['pss'], floor['pss']), 'ratio ≤ 1.15'),
            (f'RSS after 10 s, KiB ({name})', f'{ours["rss"]}', f'{floor["rss"]}',
             ratio(ours['rss'], floor['rss']), '—'),
            (f'Wakeups per second, panel closed ({name})', f'{ours["wakeups_per_s"]:.2f}',
             f'{floor["wakeups_per_s"]:.2f}', ratio(ours['wakeups_per_s'], floor['wakeups_per_s']),
             'the floor’s' + (', plus the deadline timer' if 'deadline' in name else '')),
        ]
    notes += [
        'Start: wall time from starting the process until the X server reports that a window of the '
        'process moved from the root window into trayer’s panel (the `ReparentNotify` of the embedding, '
        'read as it arrives on the benchmark’s own X connection, so the resolution is well under a '
        'millisecond); median of 25 launches on one Xvfb desktop with private buses and accessibility '
        'on, as the end-to-end tests set it up, each app’s launches taken in turn with the others’ so '
        'that a change in the machine’s load touches all of them alike; the question about automatic '
        'update checks, which the app asks at its second launch, is answered "no" in the settings '
        'beforehand. Single launches on this machine vary by ±5 ms, so a ratio moves by about 0.05 '
        'between runs. Where the app’s start goes, from timestamps in an instrumented build (medians of '
        '21 launches): `QApplication` takes about 13 ms, as in the floor; before the icon is shown the '
        'app then adds about 3.5 ms of its own work: connecting to the system bus (0.8; the floor '
        'connects to the session bus too, for its tray check), claiming its bus name (0.5), the '
        'translations (0.4), the settings file (0.2), the controllers (1.0, mostly the signal '
        'subscriptions of the mechanisms; UPower’s first answer is asked for before them and arrives '
        'meanwhile), the tray menu, the updater’s settings and the icon (0.5; the icon draws only the '
        'size the tray asks for). With a deadline, the stored session takes its lock before anything else '
        'is built: it asks logind and the portal together and waits for the portal’s inhibition, about '
        '1.4 ms from its Python mock, while logind’s lock is kept when its answer comes (its mock takes '
        'about 1.9 ms).',
        'PSS, RSS: `Pss` and `Rss` of `/proc/PID/smaps_rollup`, 10 s after a launch of its own. PSS divides '
        'each shared page among every process on the machine that maps it, so it moves with what else '
        'runs; the apps run one after the other on desktops that are otherwise alike.',
        f'Wakeups: voluntary plus involuntary context switches summed over `/proc/PID/task/*/status`, '
        f'counted over {window:g} s right after the memory reading, with the panel never opened, '
        f'divided by the window.',
        'Awake with a deadline: the settings file holds awake mode on until an hour from launch, so the '
        'app takes logind’s idle lock (mocked) and runs its deadline at start.',
        'The baseline is `Benchmarks/MinimalTray` (a `QApplication` and one `QSystemTrayIcon` with a '
        '22×22 pixmap) on an identical desktop in the same run.',
    ]
    return table, notes


def pss_differences(runs, count=12):
    """Lines of a table of the mappings that add most to the idle app's PSS
    over MinimalTray's."""
    ours, floor = runs.get('Staywake idle'), runs.get('MinimalTray')
    if not ours or not floor or 'pss_by_mapping' not in ours:
        return []
    ours, floor = ours['pss_by_mapping'], floor['pss_by_mapping']
    names = sorted(set(ours) | set(floor), key=lambda name: floor.get(name, 0) - ours.get(name, 0))[:count]
    return [
        '',
        '## Where the idle app\'s PSS goes beyond the floor\'s',
        '',
        '| Mapping | Staywake, KiB | MinimalTray, KiB | Difference, KiB |',
        '|---|---|---|---|',
        *[f'| `{name}` | {ours.get(name, 0)} | {floor.get(name, 0)} | {ours.get(name, 0) - floor.get(name, 0)} |'
          for name in names],
        '',
        '- `Pss` of each mapping of `/proc/PID/smaps`, summed per file name, read with the PSS figure above.',
        '- What is ours: the panel is built on its first opening, not at start; the translations are found '
        'without a regular expression (no PCRE compiler at start); the window icon is looked up in the '
        'icon theme when the first window opens (reading the theme’s index left 700 KiB in the heap); '
        'downloads for the updater run in the bundle’s short-lived `StaywakeUpdateFetch`, so the app '
        'never loads Qt Network with `libproxy`, Kerberos and GSSAPI (about 1 MiB); no ICU code runs at '
        'start: well-formed UTF-8 is recognised with ICU’s inline decoding before any repair, the layout '
        'direction comes from Qt’s locale data, and the ICU locale the interface is worded in is worked '
        'out on its first use (those locale calls and the conversion kept about 900 KiB of `libicuuc` '
        'resident). The status sentence of the control interface is worded with ICU’s measure format '
        'only when read or announced (at start, with a deadline, it cost 2.7 MiB). `libcrypto` is not '
        'loaded: update signatures and Night Brew’s check of its helper run in the bundle’s short-lived '
        '`StaywakeUpdateVerify` and `StaywakeFileHash`. What remains beyond the floor is mostly our own '
        'program (`Staywake`, about 1 MiB of code, nearly all of it mapped).',
    ]


def spawn(trip, key):
    """A figure of the fake pmset's start alone, when the run measured it."""
    return f'{trip[key]:.2f}' if key in trip else '—'


def helper_rows(runs):
    """The helper's figures: against its targets, with no client as the baseline."""
    idle, held, trip = (runs.get(name) for name in ('helper, no client', 'helper, one lease held',
                                                        'lease round trip'))
    table, notes = [], []
    if idle and held:
        window = held['window_s']
        table += [
            ('Helper PSS, KiB (one lease held)', f'{held["pss"]}', f'{idle["pss"]}', ratio(held['pss'], idle['pss']),
             '< 4096'),
            ('Helper RSS, KiB (one lease held)', f'{held["rss"]}', f'{idle["rss"]}', ratio(held['rss'], idle['rss']),
             '—'),
            ('Helper PSS of ICU’s libraries, KiB', f'{held["icu_pss"]}', f'{idle["icu_pss"]}', '—', '—'),
            ('Helper wakeups per second (one lease held)', f'{held["wakeups_per_s"]:.2f}',
             f'{idle["wakeups_per_s"]:.2f}', ratio(held['wakeups_per_s'], idle['wakeups_per_s']), '≤ 1'),
            (f'pmset reads in {window:g} s (one lease held)', f'{held["pmset_reads"]}', f'{idle["pmset_reads"]}', '—',
             f'{held["renewals"]} (one per renewal made in the window)'),
            (f'pmset writes in {window:g} s (one lease held)', f'{held["pmset_writes"]}',
             f'{idle["pmset_writes"]}', '—', '1 at most (the lease’s start)'),
        ]
        notes += [
            'Helper: the release binary in a bundle beside `Benchmarks/StaywakeFakePmset` (a compiled '
            'stand-in for pmset that logs each call) and the bundle’s `StaywakeFileHash`, which hashes the '
            'client’s program file in a process of its own, in a private /run (its own mount namespace), polkit '
            'mocked to allow; the baseline column is the same helper with no client, measured first, 10 s '
            'after start.',
            'Helper PSS, RSS, ICU: `/proc/PID/smaps_rollup`, and the `Pss` of the `/proc/PID/smaps` mappings '
            'of `libicu*` (code and data), at the end of each window. Largest mappings with the lease held: '
            + ', '.join(f'`{name}` {kib} KiB' for name, kib in held.get('largest_mappings', [])) + '.',
            'Helper wakeups, pmset calls: context switches of all its threads, and the fake pmset’s log '
            f'lines, over {window:g} s; the lease is held by a client renewing a 30 s lease every 10 s.',
        ]
    if trip:
        table += [
            (f'Lease round trip p50, ms ({trip["renewals"]} renewals)', f'{trip["p50_ms"]:.2f}',
             spawn(trip, 'pmset_spawn_p50_ms'), '—', '—'),
            ('Lease round trip p99, ms', f'{trip["p99_ms"]:.2f}', spawn(trip, 'pmset_spawn_p99_ms'), '—', '< 5'),
            ('Lease round trip max, ms', f'{trip["max_ms"]:.2f}', '—', '—', '—'),
            ('Helper descriptors, RSS KiB: after vs before the renewals',
             f'{trip["helper_fds_after"]}, {trip["helper_rss_after"]}',
             f'{trip["helper_fds_before"]}, {trip["helper_rss_before"]}', '—', 'no growth'),
            ('Client descriptors, RSS KiB: after vs before the renewals',
             f'{trip["client_fds_after"]}, {trip["client_rss_after"]}',
             f'{trip["client_fds_before"]}, {trip["client_rss_before"]}', '—', 'no growth'),
        ]
        notes.append('Lease round trip: `Benchmarks/StaywakeLeaseBench` drives the app’s own '
                     '`SocketLidSleepBlocker` on a poll loop as its main thread and renews back to back, each '
                     'renewal timed from the call to its completion on that thread. The helper reads the setting '
                     'once per renewal by starting pmset (here the compiled fake), so each round trip includes a '
                     'fork and exec; on a machine whose load is well above its cores, p99 and max are the '
                     'scheduler’s. The baseline column is that start alone: the fake pmset run with `-g` '
                     'through the helper’s own command runner, as many times (2000 at most) right after the '
                     'renewals' + (f', at a load of {trip["load"]:.1f}' if 'load' in trip else '') + '.')
    return table, notes


def main():
    source, window, output = sys.argv[1], float(sys.argv[2]), sys.argv[3]
    with open(source, encoding='utf-8') as file:
        runs = {run['name']: run for run in map(json.loads, filter(str.strip, file))}
    table, notes = rows(runs, window)
    lines = [
        '# Benchmark results',
        '',
        f'Machine: {os.cpu_count()} cores, Linux {platform.release()}, Qt {qt_version()}, load average '
        f'{"/".join(f"{load:.1f}" for load in os.getloadavg())} (1/5/15 min) when the table was written; '
        'release build (RelWithDebInfo). Written by `./bench`.',
        '',
        '| Figure | Staywake | Baseline | Ratio | Target |',
        '|---|---|---|---|---|',
        *[f'| {" | ".join(row)} |' for row in table],
        '',
        *[f'- {note}' for note in notes],
        *pss_differences(runs),
        '',
    ]
    with open(output, 'w', encoding='utf-8') as file:
        file.write('\n'.join(lines))


if __name__ == '__main__':
    main()
