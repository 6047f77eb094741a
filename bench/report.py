#!/usr/bin/env python3
"""Fills the performance page template from the raw results scripts/bench.sh leaves in a folder.

Usage: report.py RESULTS COMPILE_COMMANDS TEMPLATE > performance.md

RESULTS holds samples.txt, math.csv (Google Benchmark), frame_sizes.txt and frame_run*.txt
(bench_frame), first_frame*.txt (first_frame), web_fps.txt (tests/web/fps.mjs), web_visits.txt
(tests/web/visit.mjs), web_lighthouse.txt (bench/web/lighthouse.mjs), browser.txt, and
native_stamp.txt and web_stamp.txt (when each part ended, and the load average then).
"""
import csv
import glob
import gzip
import json
import os
import re
import shlex
import statistics
import string
import subprocess
import sys

results, compile_commands, template = sys.argv[1:4]
path = lambda name: os.path.join(results, name)


def pairs(words):
    """'k1 v1 k2 v2 ...' as a dict."""
    return dict(zip(words[0::2], words[1::2]))


def math_times():
    """Benchmark name -> {aggregate: (wall, cpu) in microseconds}."""
    scale = {'ns': 1e-3, 'us': 1.0, 'ms': 1e3}
    times = {}
    with open(path('math.csv')) as f:
        rows = f.read().splitlines()
    header = next(i for i, r in enumerate(rows) if r.startswith('name,'))
    for row in csv.DictReader(rows[header:]):
        m = re.fullmatch(r'(.*)/repeats:\d+_(\w+)', row['name'])
        if m:
            k = scale[row['time_unit']]
            times.setdefault(m[1], {})[m[2]] = (float(row['real_time']) * k, float(row['cpu_time']) * k)
    return times


def frame_file(name):
    """bench_frame output: {'renderer': str, grid: {'mode': {m: fields}, 'ratio': {peer: fields}}}."""
    out, grid = {'grids': {}}, None
    for line in open(path(name)):
        w = line.split()
        if not w:
            continue
        if w[0] == 'renderer':
            out['renderer'] = line.split(' ', 1)[1].strip().replace(' | ', ', ')
        elif w[0] == 'grid':
            grid = out['grids'].setdefault(w[1], {'mode': {}, 'ratio': {}, **pairs(w[2:])})
        elif w[0] == 'mode':
            grid['mode'][w[1]] = pairs(w[2:])
        elif w[0] == 'ratio':
            grid['ratio'][w[1].split('/')[1]] = dict(value=w[2], **pairs(w[3:]))
    return out


def met(ok):
    return 'met' if ok else 'NOT met'


def row(*cells):
    return '| ' + ' | '.join(str(c) for c in cells) + ' |'


math = math_times()
ns = lambda v: f'{v * 1000:.1f}'
math_rows = []
for name in [f'BM_Bernstein/{a}' for a in ('0/0', '1/1', '2/1', '3/0', '3/1', '3/3')] + \
            [f'BM_EvaluateSurfacePoint/{n}' for n in range(1, 5)]:
    t = math[name]
    math_rows.append(row(name, f'{ns(t["median"][0])} ns', f'{ns(t["min"][0])} .. {ns(t["max"][0])} ns',
                         f'{ns(t["median"][1])} ns'))
for n in range(1, 5):
    t = math[f'BM_SweepSurface/{n}']
    math_rows.append(row(f'BM_SweepSurface/{n}', f'{t["median"][0]:.3f} us',
                         f'{t["min"][0]:.3f} .. {t["max"][0]:.3f} us', f'{t["median"][1]:.3f} us'))

runs = [frame_file(f'frame_run{k}.txt') for k in range(1, len(glob.glob(path('frame_run*.txt'))) + 1)]
by_ratio = sorted(range(len(runs)), key=lambda k: float(runs[k]['grids']['4x4']['ratio']['evaluator']['value']))
headline = by_ratio[(len(runs) - 1) // 2]
head = runs[headline]['grids']['4x4']
run_rows = []
for k, run in enumerate(runs):
    g = run['grids']['4x4']
    ratio = lambda p: f'{g["ratio"][p]["value"]} ({g["ratio"][p]["round_min"]} .. {g["ratio"][p]["round_max"]})'
    run_rows.append(row(f'{k + 1}{" (headline)" if k == headline else ""}',
                        *[f'{g["mode"][m]["median_ms"]} ms' for m in ('program', 'evaluator', 'array')],
                        ratio('evaluator'), ratio('array')))
drawer_rows = [row(m, f'{f["median_ms"]} ms', f'{f["p10_ms"]} .. {f["p90_ms"]} ms',
                   f'{f["round_median_min_ms"]} .. {f["round_median_max_ms"]} ms', f['yellow_px'])
               for m, f in ((m, head['mode'][m]) for m in ('program', 'evaluator', 'array'))]
sizes = frame_file('frame_sizes.txt')['grids']
size_rows = []
for n in range(1, 5):
    g = sizes[f'{n}x{n}']
    size_rows.append(row(f'{n}x{n}', 6 * n * n, f'{ns(math[f"BM_EvaluateSurfacePoint/{n}"]["median"][0])} ns',
                         f'{math[f"BM_SweepSurface/{n}"]["median"][0]:.3f} us',
                         *[f'{g["mode"][m]["median_ms"]} ms' for m in ('program', 'evaluator', 'array')],
                         g['ratio']['evaluator']['value']))

starts = [pairs(open(f).read().split()) for f in sorted(glob.glob(path('first_frame*.txt')))]
start = sorted(starts, key=lambda s: float(s['first_frame_ms']))[len(starts) // 2]

# fps.mjs prints one "row ..." line per device, CPU rate and pixel ratio (the page beside the
# clear-only page and, on the phones, the floor page) and one "split ..." line, all "key value"
# pairs after the first word.
web_rows, split = [], None
for line in open(path('web_fps.txt')):
    w = line.split()
    if w and w[0] == 'row':
        web_rows.append(pairs(w[1:]))
    elif w and w[0] == 'split':
        split = pairs(w[1:])
# Targets: 55 frames per second at 4x CPU where a phone's page is measured (the phones, and the
# desktop at pixel ratio 2); main-thread time per frame within 1.25 times the floor page's on the
# phones, and within 2.5 times the clear-only page's on the desktop at pixel ratio 2.
FPS_TARGET, CLEAR_TARGET, FLOOR_TARGET = 55, 2.5, 1.25
is_phone = lambda r: 'floor_ms' in r
targeted = lambda r: r['cpu'] == '4' and (is_phone(r) or r['ratio'] == '2')
times = lambda r, peer: float(r['ms']) / float(r[f'{peer}_ms'])
device = lambda r: r.get('device', 'desktop').replace('-', ' ')
web_table, web_summary = [], []
for r in web_rows:
    fps_ok = float(r['fps']) >= FPS_TARGET
    clear_ok, floor_ok = times(r, 'clear') <= CLEAR_TARGET, is_phone(r) and times(r, 'floor') <= FLOOR_TARGET
    web_table.append(row(device(r), f'{r["cpu"]}x', r['ratio'], r['viewport'].replace('x', ' x '),
                         r['canvas'].replace('x', ' x '), r['fps'], r['ms'], r['clear_ms'], f'{times(r, "clear"):.2f}',
                         r.get('floor_fps', ''), r.get('floor_ms', ''), f'{times(r, "floor"):.2f}' if is_phone(r) else '',
                         met(fps_ok) if targeted(r) else '',
                         (met(floor_ok) + ' (1.25 x floor)' if is_phone(r) else met(clear_ok) + ' (2.5 x clear-only)')
                         if targeted(r) else ''))
    if targeted(r):
        at = f'Page on {device(r)} at {r["cpu"]}x CPU, pixel ratio {r["ratio"]}'
        web_summary.append(row(f'{at}, frames per second', r['fps'], f'>= {FPS_TARGET}', met(fps_ok)))
        if is_phone(r):
            web_summary.append(row(f'{at}, main-thread ms per frame / the floor page\'s',
                                   f'{times(r, "floor"):.2f} ({r["ms"]} / {r["floor_ms"]} ms)', f'<= {FLOOR_TARGET}', met(floor_ok)))
        else:
            web_summary.append(row(f'{at}, main-thread ms per frame / the clear-only page\'s',
                                   f'{times(r, "clear"):.2f} ({r["ms"]} / {r["clear_ms"]} ms)', f'<= {CLEAR_TARGET}', met(clear_ok)))
split_parts = [
    ('wasm_ms', "The program's WebAssembly"),
    ('gl_ms', "GL calls: the platform's JavaScript and the WebGL calls it makes"),
    ('text_ms', 'Text: the labels and the 2-D layer they are drawn on'),
    ('other_ms', "The browser's own work: style, paint, compositing, garbage collection"),
]
busy = float(split['busy_ms'])
split_table = [row(label, split[k], f'{100 * float(split[k]) / busy:.0f} %') for k, label in split_parts]
split_table.append(row(f'All sampled main-thread time ({split["frames"]} frames)', split['busy_ms'], '100 %'))

# visit.mjs: "visit round N network NET kind first|return first_ms F longest_ms L long_tasks K bytes B";
# lighthouse.mjs: "lighthouse round N performance P ... tbt_ms T si_ms S". Each kind of visit (and
# each score) is shown with its three rounds and judged by the worst of them.
visits = [pairs(l.split()[1:]) for l in open(path('web_visits.txt')) if l.startswith('visit ')]
audits = [pairs(l.split()[1:]) for l in open(path('web_lighthouse.txt')) if l.startswith('lighthouse ')]
VISITS = [  # (network, kind, label, target in ms)
    ('none', 'first', 'First visit, unthrottled network', 800),
    ('slow4g', 'first', "First visit, DevTools' slow 4G", 1500),
    ('slow4g', 'return', "Return visit (the service worker has the site), slow 4G", 500),
    ('offline', 'return', 'Return visit, offline', 500),
]
visit_table, visit_summary = [], []
for network, kind, label, target in VISITS:
    runs = [v for v in visits if v['network'] == network and v['kind'] == kind]
    firsts = [int(v['first_ms']) for v in runs]
    longest = max(int(v['longest_ms']) for v in runs)
    ok = max(firsts) <= target
    visit_table.append(row(label, ' / '.join(f'{f} ms' for f in firsts), f'<= {target} ms', met(ok),
                           f'{longest} ms', ' / '.join(v['long_tasks'] for v in runs),
                           ' / '.join(f'{int(v["bytes"]):,}' for v in runs)))
    visit_summary.append(row(f'Page: {label.lower()}, navigation to first picture (3 rounds)',
                             ' / '.join(f'{f} ms' for f in firsts), f'<= {target} ms', met(ok)))
    if network == 'none':
        visit_summary.append(row('Page: longest main-thread task up to 3 s after the first picture, 4x CPU',
                                 f'{longest} ms', '<= 50 ms', met(longest <= 50)))
SCORES = [('performance', 95), ('accessibility', 100), ('best-practices', 100), ('seo', 100)]
lighthouse_table = []
for name, target in SCORES:
    got = [int(a[name]) for a in audits]
    lighthouse_table.append(row(name, ' / '.join(map(str, got)), f'>= {target}', met(min(got) >= target)))
    visit_summary.append(row(f'Page: Lighthouse {name} (mobile defaults, 3 rounds)', ' / '.join(map(str, got)),
                             f'>= {target}', met(min(got) >= target)))
for key, label in (('fcp_ms', 'First contentful paint'), ('lcp_ms', 'Largest contentful paint'),
                   ('tbt_ms', 'Total blocking time'), ('si_ms', 'Speed index')):
    lighthouse_table.append(row(label, ' / '.join(f'{a[key]} ms' for a in audits), '', ''))
# The site's files as they lie in build-web/site, raw and as gzip -9 sends them.
site = os.path.join(os.path.dirname(os.path.abspath(compile_commands)), '..', 'build-web', 'site')
bytes_table, raw_total, gz_total = [], 0, 0
for root_dir, _, names in os.walk(site):
    for name in sorted(names):
        full = os.path.join(root_dir, name)
        data = open(full, 'rb').read()
        gz = len(gzip.compress(data, 9, mtime=0))
        served = name != 'vellorin-module.js'  # only a page opened from a folder reads it
        if served:
            raw_total, gz_total = raw_total + len(data), gz_total + gz
        bytes_table.append(row(os.path.relpath(full, site), f'{len(data):,}', f'{gz:,}', 'yes' if served else 'no (folder only)'))
bytes_table.append(row('All that a served page may fetch', f'{raw_total:,}', f'{gz_total:,}', ''))

flags = []
for entry in json.load(open(compile_commands)):
    if entry['file'].endswith('surface/bezier.cpp'):
        words = shlex.split(entry.get('command') or ' '.join(entry['arguments']))
        flags = [w for w in words[1:] if re.match(r'-(std|O|W|f|D|m)', w)]

sweep4 = math['BM_SweepSurface/4']['median'][0] / 1000
cpu = next((l.split(':', 1)[1].strip() for l in open('/proc/cpuinfo') if l.startswith('model name')), 'unknown')
# native_stamp.txt and web_stamp.txt: "date|load average" at the end of each part; a run of the
# browser part alone leaves the native part's results and stamp as they were.
stamp = lambda name: open(path(name)).read().strip().split('|')
native_date, native_load = stamp('native_stamp.txt')
web_date, web_load = stamp('web_stamp.txt')
values = dict(
    native_date=native_date, native_load=native_load, web_date=web_date, web_load=web_load,
    cores=os.cpu_count(), cpu=cpu,
    compiler=subprocess.run(['c++', '--version'], capture_output=True, text=True).stdout.splitlines()[0],
    renderer=runs[0].get('renderer', 'unknown'), flags=' '.join(flags),
    sweep4_ms=f'{sweep4:.3f}', sweep4_met=met(sweep4 <= 1.2),
    ratio_eval=head['ratio']['evaluator']['value'], ratio_eval_met=met(float(head['ratio']['evaluator']['value']) <= 1.6),
    ratio_array=head['ratio']['array']['value'], ratio_array_met=met(float(head['ratio']['array']['value']) <= 1.8),
    hwm_kb=start['vmhwm_kb'], hwm_mib=int(start['vmhwm_kb']) // 1024, rss_kb=start['vmrss_kb'],
    window_ms=start['window_ms'], first_frame_ms=start['first_frame_ms'], last_miss_ms=start['last_miss_ms'],
    grabs=start['grabs'],
    all_startups='; '.join(f'{s["last_miss_ms"]} .. {s["first_frame_ms"]} ms ({s["vmhwm_kb"]} kB)' for s in starts),
    web_summary='\n'.join(web_summary + visit_summary), visit_table='\n'.join(visit_table),
    lighthouse_table='\n'.join(lighthouse_table), bytes_table='\n'.join(bytes_table), split_table='\n'.join(split_table),
    split_cpu=split['cpu'], split_ratio=split['ratio'],
    math_table='\n'.join(math_rows), runs_table='\n'.join(run_rows), drawers_table='\n'.join(drawer_rows),
    sizes_table='\n'.join(size_rows), web_table='\n'.join(web_table),
    frame_runs=len(runs), frame_rounds=head['rounds'], frame_frames=head['frames_per_round'],
    differing_eval=head['ratio']['evaluator']['differing_px'], differing_array=head['ratio']['array']['differing_px'],
    native_fps=f'{1000 / float(head["mode"]["program"]["median_ms"]):.0f}',
    browser=open(path('browser.txt')).read().strip() or 'Chromium',
    samples_line=open(path('samples.txt')).read().splitlines()[-1],
)
sys.stdout.write(string.Template(open(template).read()).substitute(values))
