#!/usr/bin/python3
"""Certificates for the TLS tests: a test authority and server certificates signed by it.

Writes into --dir: ca.pem, and for each server certificate NAME.pem (certificate), NAME.key
and NAME.sha256 (the certificate's SHA-256 fingerprint as hex):
  good       for 127.0.0.1 and localhost, valid now
  otherhost  for elsewhere.invalid only
  expired    for 127.0.0.1, expired yesterday
"""
import argparse
import datetime
import ipaddress
import os

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.x509.oid import NameOID


def name(common):
    return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, common)])


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", required=True)
    args = parser.parse_args()
    now = datetime.datetime.utcnow()
    day = datetime.timedelta(days=1)

    ca_key = ec.generate_private_key(ec.SECP256R1())
    ca = (x509.CertificateBuilder().subject_name(name("trox test authority"))
          .issuer_name(name("trox test authority")).public_key(ca_key.public_key())
          .serial_number(x509.random_serial_number())
          .not_valid_before(now - day).not_valid_after(now + 30 * day)
          .add_extension(x509.BasicConstraints(ca=True, path_length=None), critical=True)
          .add_extension(x509.KeyUsage(False, False, False, False, False, True, True, False,
                                       False), critical=True)
          .sign(ca_key, hashes.SHA256()))
    write(os.path.join(args.dir, "ca.pem"), ca.public_bytes(serialization.Encoding.PEM))

    loopback = [x509.DNSName("localhost"), x509.IPAddress(ipaddress.ip_address("127.0.0.1"))]
    servers = {
        "good": (loopback, now - day, now + 30 * day),
        "otherhost": ([x509.DNSName("elsewhere.invalid")], now - day, now + 30 * day),
        "expired": (loopback, now - 10 * day, now - day),
    }
    for base, (names, start, end) in servers.items():
        key = ec.generate_private_key(ec.SECP256R1())
        cert = (x509.CertificateBuilder().subject_name(name("trox test " + base))
                .issuer_name(ca.subject).public_key(key.public_key())
                .serial_number(x509.random_serial_number())
                .not_valid_before(start).not_valid_after(end)
                .add_extension(x509.SubjectAlternativeName(names), critical=False)
                .add_extension(x509.BasicConstraints(ca=False, path_length=None), critical=True)
                .sign(ca_key, hashes.SHA256()))
        write(os.path.join(args.dir, base + ".pem"), cert.public_bytes(serialization.Encoding.PEM))
        write(os.path.join(args.dir, base + ".key"),
              key.private_bytes(serialization.Encoding.PEM,
                                serialization.PrivateFormat.TraditionalOpenSSL,
                                serialization.NoEncryption()))
        write(os.path.join(args.dir, base + ".sha256"),
              cert.fingerprint(hashes.SHA256()).hex().encode())


if __name__ == "__main__":
    main()
