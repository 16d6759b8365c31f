#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Prints which form of dbc_2_struct.h reads right on which compiler: over a
folder of DBC files, how many of the signals each form writes read, from a
frame copied into their struct, the bits the DBC file gives them. Each header
is proved by its own frame check (--layout-check), built and run with gcc for
this machine, which fills each byte from bit 0, and with gcc for 32-bit
PowerPC under qemu-ppc, which fills it from bit 7. Signals are counted by
byte order; headers that do not compile, and files the converter refuses,
are left out.

  scripts/frame-table.py [--cli PROGRAM] [--corpus DIR]

Needs gcc, powerpc-linux-gnu-gcc and qemu-ppc (scripts/test.sh installs them).
"""
import argparse
import re
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
FORMS = (('default', []),
         ('frames, lsb-first', ['--frames']),
         ('frames, msb-first', ['--frames', '--bit-order', 'msb-first']))
COMPILERS = (('bit 0', ['gcc'], []),
             ('bit 7', ['powerpc-linux-gnu-gcc', '-static'], ['qemu-ppc']))


def checked_signals(check):
    """The byte order of each signal the check reads, by (struct type, name)."""
    structs = re.findall(r'^    \{"([^"]*)", \d+, dbc_check_read_\d+\},$', check, re.M)
    orders = {}
    for index, little, name in re.findall(r'^    \{(\d+), \d+, \d+, ([01]), "([^"]*)"\},$',
                                          check, re.M):
        orders[(structs[int(index)], name)] = little == '1'
    return orders


def wrong_signals(program, runner):
    """The (struct type, name) of each signal the check program finds wrong."""
    out = subprocess.run(runner + [str(program)], capture_output=True, text=True).stdout
    return set(re.findall(r'^([^.\s]+)\.(\S+): should read', out, re.M))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--cli', default=str(ROOT / 'build' / 'cli' / 'quarvel-cli'),
                        help='the quarvel-cli to convert with (default: build/cli/quarvel-cli)')
    parser.add_argument('--corpus', default=str(ROOT.parent / 'shared' / 'corpus' / 'opendbc'),
                        help='folder of DBC files (default: ../shared/corpus/opendbc)')
    args = parser.parse_args()
    files = sorted(Path(args.corpus).glob('*.dbc'))
    if not files:
        sys.exit(f'no DBC file in {args.corpus}')

    # counts[form][little-endian] = [signals, right from bit 0, right from bit 7]
    counts = {form: {False: [0, 0, 0], True: [0, 0, 0]} for form, _ in FORMS}
    used = 0
    with tempfile.TemporaryDirectory(prefix='quarvel-frames-') as work:
        for dbc in files:
            results = {}
            for form, options in FORMS:
                out = Path(work) / dbc.stem / form.replace(', ', '-')
                if subprocess.run([args.cli, '--layout-check'] + options + [str(dbc), str(out)],
                                  capture_output=True).returncode != 0:
                    break  # refused: more than 300 messages
                orders = checked_signals((out / 'dbc_2_struct_check.c').read_text())
                wrong = []
                for _, compiler, runner in COMPILERS:
                    program = out / ('check-' + compiler[0])
                    if subprocess.run(compiler + ['-std=c99', '-DDBC_2_STRUCT_CHECK_MAIN', '-o',
                                                  str(program), str(out / 'dbc_2_struct_check.c')],
                                      capture_output=True).returncode != 0:
                        break  # the header does not compile
                    wrong.append(wrong_signals(program, runner))
                else:
                    results[form] = (orders, wrong)
            if len(results) != len(FORMS):
                continue
            used += 1
            for form, (orders, wrong) in results.items():
                for signal, little in orders.items():
                    row = counts[form][little]
                    row[0] += 1
                    for k in range(len(COMPILERS)):
                        row[1 + k] += signal not in wrong[k]

    print(f'{used} of {len(files)} files of {args.corpus} (the others are refused or their '
          'header does not compile)')
    print()
    print('| form | signals it writes | right where a compiler fills each byte from bit 0 '
          '(gcc, x86-64) | right where it fills each byte from bit 7 (gcc, PowerPC) |')
    print('|---|---|---|---|')
    for form, _ in FORMS:
        for little in (False, True):
            total, low, high = counts[form][little]
            order = 'little-endian (@1)' if little else 'big-endian (@0)'
            share = (lambda n: f'{n:,} ({100 * n / total:.1f} %)') if total else str
            print(f'| {form}: {order} | {total:,} | {share(low)} | {share(high)} |')


if __name__ == '__main__':
    main()
