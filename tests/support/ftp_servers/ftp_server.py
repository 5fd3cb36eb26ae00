#!/usr/bin/python3
"""The update FTP server for tests and benchmarks: a real pyftpdlib server on
127.0.0.1 with a free port, one read-only account, serving HOME_FOLDER (which
gets a "Quillon_Down" folder if it has none).

Usage: ftp_server.py HOME_FOLDER
The first line on stdout is the port; the server then runs until killed.
"""
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

USER = "vortaupt"
PASSWORD = "mavik#(%~&!*"


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: ftp_server.py HOME_FOLDER")
    home = os.path.abspath(sys.argv[1])
    os.makedirs(os.path.join(home, "Quillon_Down"), exist_ok=True)

    logging.basicConfig(level=logging.WARNING, stream=sys.stderr)
    authorizer = DummyAuthorizer()
    authorizer.add_user(USER, PASSWORD, home, perm="elr")
    handler = FTPHandler
    handler.authorizer = authorizer
    # A failed login is answered at once: the client time-outs in the tests are
    # shorter than the usual delay against password guessing.
    handler.auth_failed_timeout = 0.1
    handler.passive_ports = None
    handler.masquerade_address = None
    server = FTPServer(("127.0.0.1", 0), handler)
    print(server.address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
