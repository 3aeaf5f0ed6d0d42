#!/usr/bin/env python3
"""An RFC 3161 timestamp authority on 127.0.0.1 for tests that have no network:
openssl ts answers each request, with a throw-away authority certificate.

    local-tsa.py FOLDER [SECONDS]

Makes the certificate in FOLDER, writes the port it listens on to FOLDER/port and
its process id to FOLDER/pid, and ends after SECONDS (default 120) at the latest."""
import http.server
import os
import subprocess
import sys
import tempfile
import threading
import time

folder = os.path.abspath(sys.argv[1])
lifetime = float(sys.argv[2]) if len(sys.argv) > 2 else 120.0
config = os.path.join(folder, "tsa.cnf")
with open(config, "w") as f:
    f.write("""[ req ]
distinguished_name = dn
[ dn ]
[ tsa_ext ]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = critical, timeStamping
[ tsa ]
default_tsa = tsa_config
[ tsa_config ]
serial = ./serial
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha1, sha256, sha384, sha512
accuracy = secs:1
ess_cert_id_alg = sha256
""")
with open(os.path.join(folder, "serial"), "w") as f:
    f.write("01\n")
subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "30",
                "-subj", "/CN=Velmor Test TSA", "-config", config, "-extensions", "tsa_ext",
                "-keyout", "tsa.key", "-out", "tsa.pem"],
               cwd=folder, check=True, capture_output=True)


class Authority(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers["Content-Length"]))
        with tempfile.NamedTemporaryFile(dir=folder, delete=False) as f:
            f.write(query)
        reply = subprocess.run(["openssl", "ts", "-reply", "-config", config, "-queryfile", f.name,
                                "-signer", "tsa.pem", "-inkey", "tsa.key", "-chain", "tsa.pem"],
                               cwd=folder, capture_output=True).stdout
        os.unlink(f.name)
        self.send_response(200 if reply else 500)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), Authority)
with open(os.path.join(folder, "pid"), "w") as f:
    f.write(f"{os.getpid()}\n")
with open(os.path.join(folder, "port.tmp"), "w") as f:
    f.write(f"{server.server_address[1]}\n")
os.rename(os.path.join(folder, "port.tmp"), os.path.join(folder, "port"))
threading.Thread(target=server.serve_forever, daemon=True).start()
time.sleep(lifetime)
