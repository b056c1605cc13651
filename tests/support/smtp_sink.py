#!/usr/bin/python3
"""A real SMTP server for the mail tests, on 127.0.0.1 and a free port.

  smtp_sink.py serve --dir DIR [--user U --password P]
                     [--tls starttls|implicit --cert PEM --key KEY]
      Prints "PORT <n>" once it listens, then serves until stdin closes or
      it is terminated. Every mail it accepts is parsed with the email
      package and written to DIR/mail-NNNN.txt as "key=value" lines
      (keys may repeat; values never hold a line break).

  smtp_sink.py certs DIR
      Makes a test certificate authority (ca.pem) and a server certificate
      for localhost and 127.0.0.1 signed by it (server.pem, server.key).

Run it with /usr/bin/python3: that is the one that sees python3-aiosmtpd.
"""

import argparse
import asyncio
import email
import logging
import email.policy
import os
import re
import ssl
import subprocess
import sys

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


def make_certs(directory):
    def run(*args):
        subprocess.run(["openssl", *args], cwd=directory, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    run("req", "-x509", *ec, "-keyout", "ca.key", "-out", "ca.pem", "-days", "2",
        "-subj", "/CN=Tavo Test CA",
        "-addext", "basicConstraints=critical,CA:TRUE",
        "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    run("req", *ec, "-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=localhost")
    with open(os.path.join(directory, "server.ext"), "w") as f:
        f.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n"
                "basicConstraints=CA:FALSE\n"
                "extendedKeyUsage=serverAuth\n")
    run("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
        "-CAcreateserial", "-out", "server.pem", "-days", "2", "-extfile", "server.ext")


def one_line(text):
    return str(text).replace("\r", "\\r").replace("\n", "\\n")


class Sink:
    def __init__(self, directory):
        self.directory = directory
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        msg = email.message_from_bytes(envelope.original_content or envelope.content,
                                       policy=email.policy.default)
        lines = [("mail_from", envelope.mail_from)]
        lines += [("rcpt", r) for r in envelope.rcpt_tos]
        for name in ("From", "To", "Subject", "Date", "Message-ID", "MIME-Version",
                     "Content-Transfer-Encoding"):
            if msg[name] is not None:
                lines.append((name.lower(), msg[name]))
        head = envelope.original_content.split(b"\r\n\r\n", 1)[0].decode("ascii", "replace")
        raw = re.search(r"^Subject: ([^\r\n]*(?:\r\n[ \t][^\r\n]*)*)", head, re.M)
        lines.append(("raw_subject", raw.group(1) if raw else ""))
        lines.append(("helo", session.host_name or ""))
        lines.append(("content_type", msg.get_content_type()))
        lines.append(("charset", msg.get_content_charset() or ""))
        body = msg.get_content()
        for line in body.split("\n"):
            lines.append(("body", line.rstrip("\r")))
        auth = session.auth_data
        if isinstance(auth, LoginPassword):
            lines.append(("auth_user", auth.login.decode("utf-8", "replace")))
            lines.append(("auth_password", auth.password.decode("utf-8", "replace")))
        tls = server.transport.get_extra_info("ssl_object") is not None
        lines.append(("tls", "1" if tls else "0"))
        self.count += 1
        path = os.path.join(self.directory, "mail-%04d.txt" % self.count)
        with open(path + ".tmp", "w", encoding="utf-8") as f:
            for key, value in lines:
                f.write("%s=%s\n" % (key, one_line(value)))
        os.rename(path + ".tmp", path)  # readers never see half a file
        return "250 OK"


class Authenticator:
    def __init__(self, user, password):
        self.user = user.encode()
        self.password = password.encode()

    def __call__(self, server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword) and auth_data.login == self.user
              and auth_data.password == self.password)
        return AuthResult(success=ok, handled=False, auth_data=auth_data if ok else None)


async def serve(args):
    # Refused handshakes and deprecation notes are expected; stay quiet.
    logging.getLogger("mail.log").setLevel(logging.CRITICAL)
    loop = asyncio.get_running_loop()
    handler = Sink(args.dir)
    context = None
    if args.tls:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)

    def factory():
        kwargs = dict(hostname="tavo-test-sink", auth_require_tls=False, loop=loop)
        if args.user is not None:
            kwargs["authenticator"] = Authenticator(args.user, args.password or "")
        if args.tls == "starttls":
            kwargs["tls_context"] = context
            kwargs["require_starttls"] = True
        return SMTP(handler, **kwargs)

    server = await loop.create_server(
        factory, host="127.0.0.1", port=0,
        ssl=context if args.tls == "implicit" else None)
    port = server.sockets[0].getsockname()[1]
    print("PORT %d" % port, flush=True)
    # Ends when the test closes our stdin (or dies).
    await loop.run_in_executor(None, sys.stdin.read)
    server.close()


def main():
    parser = argparse.ArgumentParser()
    sub = parser.add_subparsers(dest="command", required=True)
    s = sub.add_parser("serve")
    s.add_argument("--dir", required=True)
    s.add_argument("--user")
    s.add_argument("--password")
    s.add_argument("--tls", choices=["starttls", "implicit"])
    s.add_argument("--cert")
    s.add_argument("--key")
    c = sub.add_parser("certs")
    c.add_argument("dir")
    args = parser.parse_args()
    if args.command == "certs":
        make_certs(args.dir)
    else:
        asyncio.run(serve(args))


if __name__ == "__main__":
    main()
