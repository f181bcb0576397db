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
import struct
import subprocess
import sys
import tempfile
import zlib

try:
    import olefile
except ImportError:
    olefile = None


def hx(text):
    return text.encode("utf-8", "surrogatepass").hex() or "-"


def digest(data):
    return "%d %08x" % (len(data), zlib.crc32(data))


def entries(ole):
    """Every storage and stream by its path, walking the directory tree once (olefile's
    look-ups by path search each storage's children one by one)."""
    found = {}
    def walk(entry, path):
        for kid in entry.kids:
            found[path + (kid.name,)] = kid
            walk(kid, path + (kid.name,))
    walk(ole.root, ())
    return found


def read(ole, entry):
    return ole._open(entry.isectStart, entry.size).read()


def check_properties(ole, tree):
    """Each property stream against the storage it describes: every entry of a value
    kept in a stream has that stream, with the size the entry gives (+2 for strings),
    every value stream has an entry, and a message's counts match its storages."""
    children = {}
    for path in tree:
        children.setdefault(path[:-1], []).append(path[-1])
    for folder in [()] + [p for p, e in tree.items() if e.entry_type == olefile.STGTY_STORAGE]:
        last = folder[-1] if folder else ""
        kind = ("message" if not folder else "embedded" if last == "__substg1.0_3701000D"
                else "child" if last.startswith(("__recip", "__attach")) else None)
        if kind is None:
            continue
        data = read(ole, tree[folder + ("__properties_version1.0",)])
        header = {"message": 32, "embedded": 24}.get(kind, 8)
        kids = children.get(folder, [])
        if header > 8:
            counts = struct.unpack_from("<II", data, 16)
            found = (sum(1 for k in kids if k.startswith("__recip")), sum(1 for k in kids if k.startswith("__attach")))
            if counts != found:
                print("ole.problem", "/".join(folder) or "root", "counts", counts, found)
        streams = {k for k in kids if tree[folder + (k,)].entry_type == olefile.STGTY_STREAM}
        named = set()
        for at in range(header, len(data), 16):
            tag, _, size = struct.unpack_from("<III", data, at)
            name = "__substg1.0_%08X" % tag
            if tag & 0xFFFF in (0x001F, 0x0102):
                named.add(name)
                real = tree[folder + (name,)].size if name in streams else None
                if real is None or size != real + (2 if tag & 0xFFFF == 0x001F else 0):
                    print("ole.problem", "/".join(folder) or "root", name, size, real)
        for name in streams - named - {"__properties_version1.0"}:
            print("ole.problem", "/".join(folder) or "root", name, "has no entry")


def read_msg(path, convert=True):
    if olefile is None:
        print("olefile.missing")
        return
    ole = olefile.OleFileIO(path)
    tree = entries(ole)
    check_properties(ole, tree)
    for entry_path, entry in sorted(tree.items()):
        if entry.entry_type != olefile.STGTY_STREAM:
            continue
        name = "/".join(entry_path)
        data = read(ole, entry)
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
        run = subprocess.run(["msgconvert", "--outfile", out, path], capture_output=True)
        if run.returncode != 0 and b"Can't locate" in run.stderr:
            print("msgconvert.missing")  # installed without a Perl module it needs
            return
        run.check_returncode()
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
    print("rtf.html", hx(html.unescape(page).replace("\xa0", " ")))


if sys.argv[1] == "rtf":
    read_rtf(sys.argv[2])
else:
    read_msg(sys.argv[2], sys.argv[1] == "msg")  # "ole": olefile only
