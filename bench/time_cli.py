#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Times whole commands, interleaved: each round runs every command once, in
turn, so that a change in the machine's load weighs on all of them alike.
Prints the median, the quartiles and the minimum of each, in milliseconds.

  bench/time_cli.py [--runs N] [--warmup N] COMMAND [COMMAND ...]

Each COMMAND is one shell-free string, split like a shell would split it.
Standard output and standard error go to /dev/null.
"""
import argparse
import shlex
import statistics
import subprocess
import time


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--runs', type=int, default=100)
    parser.add_argument('--warmup', type=int, default=5)
    parser.add_argument('commands', nargs='+')
    args = parser.parse_args()
    argvs = [shlex.split(command) for command in args.commands]
    times = [[] for _ in argvs]
    for round_ in range(args.warmup + args.runs):
        for i, argv in enumerate(argvs):
            start = time.perf_counter()
            subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
            if round_ >= args.warmup:
                times[i].append((time.perf_counter() - start) * 1000)
    width = max(len(command) for command in args.commands)
    print(f'{"command":<{width}}  median     q1     q3    min  (ms, {args.runs} runs)')
    for command, samples in zip(args.commands, times):
        q1, median, q3 = statistics.quantiles(samples, n=4)
        print(f'{command:<{width}}  {median:6.2f} {q1:6.2f} {q3:6.2f} {min(samples):6.2f}')


if __name__ == '__main__':
    main()
