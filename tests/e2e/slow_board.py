#!/usr/bin/env python3
"""A board whose version comes late while a flash runs, as a WMI service that
has just started answers its first query: FILE becomes a pipe, and each
reader (Wine reads the file at every WMI query) gets VERSION once it has
opened it; a process's first read made while a process of the utility
(WinPhlash.exe) runs in this mount namespace gets it DELAY seconds late. It
stops once STOP exists and a reader came.
   slow_board.py FILE VERSION DELAY STOP"""
import os
import sys
import time


def flash_runs():
    own = os.readlink("/proc/self/ns/mnt")
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            if os.readlink("/proc/%s/ns/mnt" % pid) != own:
                continue
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                if b"winphlash.exe" in f.read().lower():
                    return True
        except OSError:
            continue
    return False


def holders(path):
    """The processes of this mount namespace that hold the pipe open."""
    own, found = os.readlink("/proc/self/ns/mnt"), set()
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            if int(pid) == os.getpid() or os.readlink("/proc/%s/ns/mnt" % pid) != own:
                continue
            for fd in os.listdir("/proc/%s/fd" % pid):
                if os.readlink("/proc/%s/fd/%s" % (pid, fd)) == path:
                    found.add(pid)
        except OSError:
            continue
    return found


def main(path, version, delay, stop):
    os.unlink(path)
    os.mkfifo(path)
    print("up", flush=True)
    delayed = set()
    while not os.path.exists(stop):
        fd = os.open(path, os.O_WRONLY)  # once a reader has opened it
        readers = holders(path)
        if readers - delayed and flash_runs():
            delayed |= readers
            time.sleep(delay)
        try:
            os.write(fd, (version + "\n").encode())
        except BrokenPipeError:
            pass
        os.close(fd)
        # One answer a reader: a writer opened again while it reads would
        # hand it the next reader's answer too.
        while holders(path):
            time.sleep(0.01)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], float(sys.argv[3]), sys.argv[4])
