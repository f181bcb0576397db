#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads one .eml file with Python's email package, independently of Mailmend's parser,
and prints what the tests compare: one field per line, each value as 'x' + hex bytes.

  subject <v>                             (blanks around it trimmed)
  from|to|cc <name> <address>            (one line per mailbox, groups flattened)
  date <seconds since 1970 UTC>|-
  text <v>|-                              (the plain body as text)
  html <v>|-
  attachment <name> <type> <cid> <is-mail 0|1> <size> <sha256> <bytes|-> <inner subject|->

An attachment is every leaf that is not one of the two bodies; an attached mail is one
leaf. Bytes are given up to 1 MiB; every size gets its SHA-256.
"""
import email
import email.policy
import hashlib
import sys
from datetime import timezone
from email.headerregistry import Address

MAX_BYTES = 1 << 20


def hx(value):
    if isinstance(value, str):
        value = value.encode('utf-8', 'surrogateescape')
    return 'x' + value.hex()


def leaves(part):
    if part.get_content_maintype() == 'multipart' and part.is_multipart():
        for sub in part.iter_parts():
            yield from leaves(sub)
    else:
        yield part


def main(path):
    with open(path, 'rb') as source:
        # From bytes, not from the file: reading a file object would turn CR LF into LF.
        mail = email.message_from_bytes(source.read(), policy=email.policy.default)
    out = ['subject ' + hx(str(mail['subject'] or '').strip())]
    for field in ('from', 'to', 'cc'):
        for header in mail.get_all(field) or []:
            for address in getattr(header, 'addresses', ()):
                mailbox = str(Address(username=address.username, domain=address.domain))
                out.append('%s %s %s' % (field, hx(address.display_name), hx(mailbox)))
    date = getattr(mail['date'], 'datetime', None) if mail['date'] else None
    if date is not None and date.tzinfo is None:
        date = date.replace(tzinfo=timezone.utc)
    out.append('date ' + (str(int(date.timestamp())) if date else '-'))
    plain = mail.get_body(('plain',))
    html = mail.get_body(('html',))
    out.append('text ' + (hx(plain.get_content()) if plain is not None else '-'))
    out.append('html ' + (hx(html.get_content()) if html is not None else '-'))
    for part in leaves(mail):
        if part is plain or part is html:
            continue
        is_mail = part.get_content_type() == 'message/rfc822'
        data = b'' if is_mail else (part.get_payload(decode=True) or b'')
        inner = part.get_payload(0)['subject'] if is_mail and part.get_payload() else None
        cid = str(part['content-id'] or '').strip().strip('<>')
        out.append('attachment %s %s %s %d %d %s %s %s' % (
            hx(part.get_filename() or ''), hx(part.get_content_type()), hx(cid), is_mail,
            len(data), hashlib.sha256(data).hexdigest(),
            hx(data) if len(data) <= MAX_BYTES else '-', hx(str(inner)) if inner else '-'))
    sys.stdout.write('\n'.join(out) + '\n')


if __name__ == '__main__':
    main(sys.argv[1])
