# SPDX-License-Identifier: MIT
"""Loopback FTP server (pyftpdlib) for the transfer engine tests.

Usage: ftp_server.py ROOT PORTFILE LOGFILE [BYTES_PER_SECOND]
User "tester" with password "secret" may do everything in ROOT; anonymous
may read. The command log (EPSV/PASV/EPRT/PORT...) goes to LOGFILE. A rate
limit slows every data connection down (for cancel and progress tests).
"""
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


def main():
    root, portfile, logfile = sys.argv[1:4]
    logging.basicConfig(filename=logfile, level=logging.DEBUG)
    authorizer = DummyAuthorizer()
    authorizer.add_user("tester", "secret", root, perm="elradfmwMT")
    authorizer.add_anonymous(root, perm="elr")
    handler = FTPHandler
    handler.authorizer = authorizer
    if len(sys.argv) > 4:
        dtp = ThrottledDTPHandler
        dtp.read_limit = int(sys.argv[4])
        dtp.write_limit = int(sys.argv[4])
        handler.dtp_handler = dtp
    server = FTPServer(("127.0.0.1", 0), handler)
    tmp = portfile + ".tmp"
    with open(tmp, "w") as f:
        f.write(str(server.address[1]))
    os.rename(tmp, portfile)
    server.serve_forever()


if __name__ == "__main__":
    main()
