# SPDX-License-Identifier: GPL-3.0-or-later
# Reads a written .msg or .rtf with the peer readers and prints what they found, one
# record a line: a kind, then fields; text fields are UTF-8 in hex, data is a length and
# its CRC-32. Used by the store writers' tests.
import base64
import email
import email.policy
import html
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zlib


def hx(text):
    return text.encode("utf-8", "surrogatepass").hex() or "-"


def digest(data):
    return "%d %08x" % (len(data), zlib.crc32(data))


def read_msg(path, convert=True):
    import olefile
    ole = olefile.OleFileIO(path)
    for entry in ole.listdir(streams=True, storages=False):
        name = "/".join(entry)
        data = ole.openstream(entry).read()
        if name.endswith("001F"):
            print("ole.text", name, hx(data.decode("utf-16-le")))
        else:
            print("ole.data", name, digest(data))
    ole.close()
    if not convert:
        return
    if not shutil.which("msgconvert"):
        print("eml.missing")
        return
    with tempfile.TemporaryDirectory() as folder:
        out = os.path.join(folder, "mail.eml")
        subprocess.run(["msgconvert", "--outfile", out, path], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with open(out, "rb") as f:
            mail = email.message_from_binary_file(f, policy=email.policy.default)
    for name in ("Subject", "From", "To", "Cc", "Date", "Message-ID", "In-Reply-To"):
        if mail[name] is not None:
            print("eml.header", name, hx(str(mail[name])))
    skip = set()
    for part in mail.walk():
        if id(part) in skip:
            continue
        name = part.get_filename()
        if part.get_content_type() == "message/rfc822":
            inner = part.get_payload()[0]
            if (part["Content-Transfer-Encoding"] or "").lower() == "base64":
                # An attached mail kept as a file: the parser left its bytes encoded.
                skip.update(id(p) for p in inner.walk())
                print("eml.attachment", hx(name or ""), digest(base64.b64decode(inner.get_payload())))
            else:
                print("eml.message", hx(name or ""), hx(str(inner["Subject"] or "")))
            continue
        if part.is_multipart():
            continue
        payload = part.get_payload(decode=True) or b""
        if name is not None or part.get_content_disposition() == "attachment":
            print("eml.attachment", hx(name or ""), digest(payload))
        elif part.get_content_type() in ("text/plain", "text/html"):
            print("eml." + part.get_content_subtype(), hx(payload.decode("utf-8", "replace")))


def read_rtf(path):
    if not shutil.which("unrtf"):
        print("rtf.missing")
        return
    text = subprocess.run(["unrtf", "--text", path], capture_output=True, check=True).stdout
    print("rtf.text", hx(text.decode("ascii", "replace")))
    page = subprocess.run(["unrtf", "--html", path], capture_output=True, check=True).stdout
    page = page.decode("ascii", "replace")
    page = page[page.find("<body>"):]
    page = re.sub(r"<[^>]*>", "", page.replace("\n", "").replace("<br>", "\n"))
    # unrtf gives each half of a surrogate pair an entity of its own.
    page = re.sub(r"&#(5[5-6]\d{3});&#(5[6-7]\d{3});",
                  lambda m: chr(0x10000 + ((int(m.group(1)) - 0xD800) << 10) + int(m.group(2)) - 0xDC00),
                  page)
    print("rtf.html", hx(html.unescape(page)))


if sys.argv[1] == "rtf":
    read_rtf(sys.argv[2])
else:
    read_msg(sys.argv[2], sys.argv[1] == "msg")  # "ole": olefile only
