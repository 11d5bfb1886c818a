#!/usr/bin/python3
"""A pyftpdlib server for the tests: one account, a given root, every command logged.

Prints the port it listens on as the first line of standard output, then serves until killed.
"""
import argparse
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import ThreadedFTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--certfile", help="explicit TLS (AUTH TLS), required for everything")
    parser.add_argument("--keyfile")
    args = parser.parse_args()

    # DEBUG makes pyftpdlib log every command line it receives ("<- CMD arg"), PASS masked.
    logging.basicConfig(filename=args.log, level=logging.DEBUG,
                        format="%(asctime)s %(message)s")
    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
    handler = FTPHandler
    if args.certfile:
        from pyftpdlib.handlers import TLS_FTPHandler
        handler = TLS_FTPHandler
        handler.certfile = args.certfile
        handler.keyfile = args.keyfile
        handler.tls_control_required = True
        handler.tls_data_required = True
    handler.authorizer = authorizer
    handler.banner = "pyftpdlib ready."
    handler.permit_foreign_addresses = False
    handler.use_sendfile = False
    server = ThreadedFTPServer((args.host, 0), handler)
    server.max_cons = 256
    server.max_cons_per_ip = 0
    sys.stdout.write("%d\n" % server.socket.getsockname()[1])
    sys.stdout.flush()
    server.serve_forever(timeout=0.5)


if __name__ == "__main__":
    main()
