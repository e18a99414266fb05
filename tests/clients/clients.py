"""Shared helpers for the tests that drive real HTTP clients against harnow."""
import os
import random
import shutil
import subprocess

import harnow

# Each client call is bounded; a hang fails the test instead of stalling the suite.
CLIENT_TIMEOUT = 60


def run(command, timeout=CLIENT_TIMEOUT, **kwargs):
    """Runs a client program and returns the finished process (output captured as bytes)."""
    return subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=timeout, **kwargs)


def payload(size, seed):
    """Reproducible bytes that are not text, so a client that mangles bytes is caught."""
    return random.Random(seed).randbytes(size)


def base_url(server):
    return "http://127.0.0.1:%d" % server.port


def read_file(path):
    with open(path, "rb") as f:
        return f.read()


class ClientTestCase(harnow.ServerTestCase):
    def output_dir(self):
        """A scratch directory for what the client writes, removed with the served one."""
        path = self.root + "-out"
        os.makedirs(path, exist_ok=True)
        self.addCleanup(shutil.rmtree, path, True)
        return path
