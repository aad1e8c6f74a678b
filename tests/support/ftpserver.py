#!/usr/bin/python3
"""A real FTP server for the tests, on 127.0.0.1.

usage: ftpserver.py ROOT USER PASSWORD [--throttle BYTES_PER_SECOND] [--stall]
                    [--refuse-listing]

Prints the port it listens on, then serves until killed. --throttle slows
every download down; --stall sends a little of each download and then
nothing more; --refuse-listing answers every directory listing with 550
while files are still served.
"""
import sys
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


class StallingDTPHandler(ThrottledDTPHandler):
    read_limit = 0
    sent = 0

    def send(self, data):
        if self.sent >= 100:
            time.sleep(0.05)  # keeps the connection open, sends nothing
            return 0
        self.sent += len(data[:100])
        return super().send(data[:100])


def main():
    root, user, password = sys.argv[1:4]
    options = sys.argv[4:]
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, root, perm="elr")
    handler = FTPHandler
    handler.authorizer = authorizer
    if "--throttle" in options:
        dtp = ThrottledDTPHandler
        dtp.write_limit = int(options[options.index("--throttle") + 1])
        handler.dtp_handler = dtp
    if "--stall" in options:
        handler.dtp_handler = StallingDTPHandler
    if "--refuse-listing" in options:
        class RefusingHandler(handler):
            def ftp_NLST(self, path):
                self.respond("550 Listing not allowed.")

            def ftp_LIST(self, path):
                self.respond("550 Listing not allowed.")

            def ftp_MLSD(self, path):
                self.respond("550 Listing not allowed.")
        handler = RefusingHandler
    server = FTPServer(("127.0.0.1", 0), handler)
    print(server.socket.getsockname()[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
