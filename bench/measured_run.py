#!/usr/bin/python3
"""Runs a program with its standard output and standard error in files and
prints one line: its wall-clock time, its peak resident memory (the
kernel's ru_maxrss of the waited child, KiB) and its exit status. A program
that runs longer than LIMIT seconds is killed (status -9). Standard output
passes through a pipe: the time at which each line starting with MARK
arrived (seconds from the start) and the line go to STDOUT_FILE.times.

    measured_run.py LIMIT MARK STDOUT_FILE STDERR_FILE PROGRAM [ARGUMENT...]

prints "seconds=S maxrss_kib=K status=N".
"""
import resource
import subprocess
import sys
import threading
import time


def main():
    limit, mark, stdout_file, stderr_file, *command = sys.argv[1:]
    mark = mark.encode()
    with open(stdout_file, "wb") as out, open(stdout_file + ".times", "w") as times, \
            open(stderr_file, "wb") as err:
        start = time.monotonic()
        child = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=err)

        def copy():
            for line in child.stdout:
                if line.startswith(mark):
                    times.write(f"{time.monotonic() - start:.3f} {line.decode(errors='replace').rstrip()}\n")
                out.write(line)

        copier = threading.Thread(target=copy)
        copier.start()
        try:
            status = child.wait(timeout=float(limit))
        except subprocess.TimeoutExpired:
            child.kill()
            status = child.wait()
        elapsed = time.monotonic() - start
        copier.join()
    # The only child waited for: the children's peak is its peak.
    peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    print(f"seconds={elapsed:.3f} maxrss_kib={peak} status={status}")


main()
