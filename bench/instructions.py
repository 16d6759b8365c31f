#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Counts the instructions of quarvel-cli under callgrind and prints, for a
quiet conversion of vw_mqb.dbc and of the generated max file, in the default
form and in the frame form (--frames), the whole process, readDbc, readDbc per
byte of the file and findings(), against the floor: the whole process of
quarvel-cli --version.

  bench/instructions.py [--build DIR | --cli PROGRAM] [--corpus DIR] [--keep DIR]

The release build in DIR (default build-release) is configured when it has
no CMake cache yet and brought up to date with quarvel-cli as its only
target; an up-to-date build is left as it is. --cli measures a quarvel-cli
built elsewhere (an older one, say) and builds nothing. Instruction counts do not
depend on the machine's load, so one run of each command is enough. The
programs run in the C.UTF-8 locale, so that every machine decodes alike.
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
READ = 'CDBC::readDbc('
FINDINGS = 'CDBC::findings('


def max_dbc():
    """The file bench_dbc calls max: 300 messages of 64 one-bit signals, each
    with a cycle time, the largest file the engine accepts (889,062 bytes)."""
    text = 'VERSION ""\n\nNS_ :\n    CM_\n    BA_DEF_\n    BA_\n\nBS_:\n\nBU_: ECU1 ECU2\n'
    attributes = ''
    for m in range(300):
        text += f'\nBO_ {256 + m} Message_{m}: 8 ECU1\n'
        for s in range(64):
            text += f' SG_ Sig_{m}_{s} : {s}|1@1+ (1,0) [0|1] "" ECU2\n'
        attributes += f'BA_ "GenMsgCycleTime" BO_ {256 + m} {10 + m % 90};\n'
    return text + '\nBA_DEF_ BO_ "GenMsgCycleTime" INT 0 65535;\n' + attributes


def build(build_dir):
    if not (build_dir / 'CMakeCache.txt').exists():
        subprocess.run(['cmake', '-S', str(ROOT), '-B', str(build_dir), '-DCMAKE_BUILD_TYPE=Release',
                        '-DQUARVEL_BUILD_TESTS=OFF', '-DQUARVEL_BUILD_BENCH=OFF'],
                       check=True, stdout=subprocess.DEVNULL)
    subprocess.run(['cmake', '--build', str(build_dir), '--target', 'quarvel-cli', '-j2'],
                   check=True, stdout=subprocess.DEVNULL)
    return build_dir / 'cli' / 'quarvel-cli'


def profile(command, out_file, env):
    """The program's total and the inclusive counts of readDbc and findings()."""
    subprocess.run(['valgrind', '--tool=callgrind', f'--callgrind-out-file={out_file}'] + command,
                   check=True, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    total = 0
    with open(out_file) as profile_text:
        for line in profile_text:
            if line.startswith(('summary:', 'totals:')):
                total = int(line.split()[1])
    annotated = subprocess.run(['callgrind_annotate', '--inclusive=yes', '--threshold=100',
                                str(out_file)], check=True, capture_output=True, text=True).stdout
    counts = {}
    for line in annotated.splitlines():
        match = re.match(r'\s*([\d,]+)\s+\([^)]*\)\s+(\S.*)$', line)
        if not match:
            continue
        for name in (READ, FINDINGS):
            if name in match.group(2) and name not in counts:
                counts[name] = int(match.group(1).replace(',', ''))
    return total, counts.get(READ, 0), counts.get(FINDINGS, 0)


def millions(count):
    return f'{count / 1e6:.1f} M'


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--build', default=str(ROOT / 'build-release'),
                        help='release build directory (default: build-release)')
    parser.add_argument('--cli', help='measure this quarvel-cli instead of building one')
    parser.add_argument('--corpus', default=str(ROOT.parent / 'shared' / 'corpus' / 'opendbc'),
                        help='folder holding vw_mqb.dbc (default: ../shared/corpus/opendbc)')
    parser.add_argument('--keep', help='keep the callgrind profiles in this folder')
    args = parser.parse_args()

    cli = Path(args.cli).resolve() if args.cli else build(Path(args.build).resolve())
    real = Path(args.corpus) / 'vw_mqb.dbc'
    if not real.exists():
        sys.exit(f'{real} is missing: give the corpus folder with --corpus')
    env = dict(os.environ, LC_ALL='C.UTF-8')
    with tempfile.TemporaryDirectory(prefix='quarvel-instructions-') as work:
        work = Path(work)
        profiles = Path(args.keep) if args.keep else work
        profiles.mkdir(parents=True, exist_ok=True)
        generated = work / 'max.dbc'
        generated.write_text(max_dbc(), encoding='ascii')
        floor = profile([str(cli), '--version'], profiles / 'floor.out', env)[0]
        rows = []
        # Each file with the most its whole conversion may take, in floors.
        for label, path, most in (('vw_mqb.dbc', real, 3), ('max (300 x 64)', generated, 10)):
            for form, options in (('', []), (', --frames', ['--frames'])):
                total, read, findings = profile(
                    [str(cli)] + options + [str(path), str(work / 'out')],
                    profiles / f'{path.stem}{form.replace(", --", "-")}.out', env)
                rows.append((label + form, path.stat().st_size, total, read, findings, most))

    print(f'quarvel-cli: {cli}')
    print(f'floor (quarvel-cli --version): {floor / 1e6:.2f} M')
    print()
    print('| quiet conversion of | bytes | total | readDbc | per byte | findings() |')
    print('|---|---|---|---|---|---|')
    for label, size, total, read, findings, _ in rows:
        print(f'| {label} | {size:,} | {millions(total)} ({total / floor:.1f} x the floor) '
              f'| {millions(read)} | {read / size:.1f} '
              f'| {millions(findings)} ({findings / read:.3f} of the read) |')
    print()
    print('Goals: readDbc at most 25 instructions per byte, the whole conversion, findings')
    print('included, at most 3 (vw_mqb.dbc) or 10 (max) times the floor, in either form.')
    for label, size, total, read, findings, most in rows:
        missed = [what for what, met in (('per byte', read <= 25 * size),
                                         ('total', total <= most * floor)) if not met]
        print(f'{label}: ' + ('all met' if not missed else 'missed: ' + ', '.join(missed)))


if __name__ == '__main__':
    main()
