"""A certificate authority of the tests' own, made with the openssl command in a folder.

TestPki(folder) gives ca_file (the authority's certificate, for SSL_CERT_FILE), ca_dir (a hashed
folder holding it, for SSL_CERT_DIR) and server_context(name): an ssl.SSLContext serving one of
SERVERS' certificates, each for a key of its own.
"""

import os
import shutil
import ssl
import subprocess


NEW_KEY = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]

# name: (host name entry, signed by the authority, days valid)
SERVERS = {
    "good": ("IP:127.0.0.1", True, 30),
    "expired": ("IP:127.0.0.1", True, -1),
    "self-signed": ("IP:127.0.0.1", False, 30),
    "other-host": ("DNS:mail.example.org", True, 30),
}


class TestPki:
    def __init__(self, folder):
        self.folder = folder
        os.makedirs(folder, exist_ok=True)
        self.config = os.path.join(os.path.dirname(os.path.abspath(__file__)), "pki.cnf")
        self.ca_file = self.path("authority.pem")
        self.openssl("req", "-x509", *NEW_KEY, "-keyout", self.path("authority.key"),
                     "-out", self.ca_file, "-days", "30", "-extensions", "authority")
        self.ca_dir = self.path("authorities")
        os.makedirs(self.ca_dir)
        shutil.copy(self.ca_file, self.ca_dir)
        self.openssl("rehash", self.ca_dir, config=False)
        for name, (entry, by_authority, days) in SERVERS.items():
            self.make_server(name, entry, by_authority, days)

    def path(self, name):
        return os.path.join(self.folder, name)

    def server_context(self, name) -> ssl.SSLContext:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(self.path(name + ".pem"), self.path(name + ".key"))
        return context

    def make_server(self, name, entry, by_authority, days):
        key, certificate = self.path(name + ".key"), self.path(name + ".pem")
        subject = ["-subj", "/CN=" + entry.split(":", 1)[1]]
        if not by_authority:
            self.openssl("req", "-x509", *NEW_KEY, *subject, "-keyout", key, "-out", certificate,
                         "-days", str(days), "-extensions", "server", san=entry)
            return
        request = self.path(name + ".csr")
        self.openssl("req", "-new", *NEW_KEY, *subject, "-keyout", key, "-out", request, san=entry)
        serial = str(len(os.listdir(self.folder)))
        self.openssl("x509", "-req", "-in", request, "-CA", self.ca_file,
                     "-CAkey", self.path("authority.key"), "-set_serial", serial,
                     "-days", str(days), "-extfile", self.config, "-extensions", "server",
                     "-out", certificate, san=entry, config=False)

    def openssl(self, command, *arguments, san="IP:127.0.0.1", config=True):
        options = ["-config", self.config] if config else []
        subprocess.run(["openssl", command, *options, *arguments], check=True,
                       capture_output=True, env=dict(os.environ, WEBLETTER_SAN=san))
