#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the sample mails of tests/support/mail_samples.cpp into this folder.

Each mail is written out byte for byte here (not through a mail library), so that the
samples carry the charsets, encodings and line ends exactly as named. Run it from any
folder: python3 make_samples.py
"""
import base64
import binascii
import os
import quopri

HERE = os.path.dirname(os.path.abspath(__file__))


def b64(data):
    text = base64.b64encode(data).decode('ascii')
    return '\n'.join(text[i:i + 76] for i in range(0, len(text), 76)).encode('ascii') + b'\n'


def qp(data):
    return quopri.encodestring(data)


def word(text, charset, kind='B'):
    data = text.encode(charset)
    if kind == 'B':
        return '=?%s?B?%s?=' % (charset, base64.b64encode(data).decode('ascii'))
    return '=?%s?Q?%s?=' % (charset, ''.join(
        c if c.isascii() and c.isalnum() else '=%02X' % b for c, b in ((chr(b), b) for b in data)))


def write(name, data, crlf=False):
    """Writes <name>.eml; a CR LF mail also as <name>-lf.eml with LF line ends."""
    lf = data.replace(b'\r\n', b'\n')
    variants = [(name, lf.replace(b'\n', b'\r\n')), (name + '-lf', lf)] if crlf else [(name, data)]
    for file_name, text in variants:
        with open(os.path.join(HERE, file_name + '.eml'), 'wb') as out:
            out.write(text)


PNG = bytes.fromhex('89504e470d0a1a0a0000000d4948445200000001000000010806000000'
                    '1f15c4890000000d49444154789c6300010000050001a5f645400000000049454e44ae426082')
PDF = b'%PDF-1.1\n1 0 obj<<>>endobj\ntrailer<</Root 1 0 R>>\n%%EOF\n' + bytes(range(256))

write('plain-only', b'''From: Alice Example <alice@example.org>
To: Bob <bob@example.net>, carol@example.com
Cc: Dave <dave@example.com>
Subject: Lunch on Friday
Date: Fri, 04 Mar 2005 12:30:00 +0000
Message-ID: <plain.1@example.org>
MIME-Version: 1.0
Content-Type: text/plain; charset=us-ascii

Shall we meet at noon?
-- 
Alice
''')

write('latin1-qp', ('''From: =?iso-8859-1?Q?Ren=E9e_M=FCller?= <renee@example.de>
To: "=?iso-8859-1?Q?Fran=E7ois?=" <francois@example.fr>
Subject: %s
Date: Mon, 7 Feb 2005 09:15:42 +0100
Received: from mx.example.de (mx.example.de [192.0.2.7]; TLS) by mail.example.fr; Mon, 7 Feb 2005 09:16:01 +0100
MIME-Version: 1.0
Content-Type: text/plain; charset="iso-8859-1"
Content-Transfer-Encoding: quoted-printable

''' % word('Grüße aus Köln', 'iso-8859-1', 'Q')).encode('latin-1')
      + qp('Schöne Grüße, à bientôt.\nZweite Zeile mit ß und €.\n'.replace('€', 'EUR')
           .encode('latin-1')))

write('koi8r-8bit', ('''From: %s <ivan@example.ru>
To: %s <olga@example.ru>
Subject: %s
Date: Tue, 1 Feb 2005 10:00:00 +0300
MIME-Version: 1.0
Content-Type: text/plain; charset=koi8-r
Content-Transfer-Encoding: 8bit

''' % (word('Иван Петров', 'koi8-r'), word('Ольга', 'koi8-r'),
       word('Привет из Москвы', 'koi8-r'))).encode('ascii')
      + 'Здравствуйте, Ольга!\nКак дела?\n'.encode('koi8-r'), crlf=True)

write('shift-jis-base64', ('''From: %s <taro@example.jp>
To: hanako@example.jp
Subject: %s
Date: Wed, 02 Mar 2005 18:05:00 +0900
MIME-Version: 1.0
Content-Type: text/plain; charset="Shift_JIS"
Content-Transfer-Encoding: base64

''' % (word('山田太郎', 'shift_jis'), word('会議の予定', 'iso-2022-jp'))).encode('ascii')
      + b64('明日の会議は十時からです。\nよろしくお願いします。\n'.encode('shift_jis')),
      crlf=True)

write('html-only', b'''From: News <news@example.com>
To: reader@example.org
Subject: =?utf-8?B?V2Vla2x5IOKAkyBuZXdz?=
Date: Sun, 6 Mar 2005 07:00:00 -0500
MIME-Version: 1.0
Content-Type: text/html; charset=utf-8
Content-Transfer-Encoding: quoted-printable

<html><body><p>Caf=C3=A9 news =E2=80=93 this week</p></body></html>
''')

write('nested-related', b'''From: "Office" <office@example.com>
To: team@example.com
Subject: Report with picture
Date: Thu, 10 Mar 2005 16:45:00 +0100
MIME-Version: 1.0
Content-Type: multipart/mixed; boundary="==outer"

This is a multi-part message in MIME format.

--==outer
Content-Type: multipart/alternative; boundary="==alt"

--==alt
Content-Type: text/plain; charset=utf-8
Content-Transfer-Encoding: 8bit

See the chart below. \xe2\x82\xac 12
--==alt
Content-Type: multipart/related; boundary="==rel"; type="text/html"

--==rel
Content-Type: text/html; charset=utf-8

<html><body>See the chart <img src="cid:chart.1@example.com"> &euro; 12</body></html>
--==rel
Content-Type: image/png; name="chart.png"
Content-Transfer-Encoding: base64
Content-ID: <chart.1@example.com>

''' + b64(PNG) + b'''--==rel--

--==alt--

--==outer
Content-Type: application/pdf
Content-Disposition: attachment; filename*=UTF-8''%E2%82%AC-report.pdf
Content-Transfer-Encoding: base64

''' + b64(PDF) + b'''--==outer
Content-Type: application/octet-stream; name="=?koi8-r?B?8NLJ18XU?=.bin"
Content-Disposition: attachment
Content-Transfer-Encoding: base64

''' + b64(bytes(range(255, -1, -1)) * 3) + b'''--==outer--
''', crlf=True)

INNER = b'''From: Old Sender <old@example.com>
To: team@example.com
Subject: The original mail
Date: Tue, 08 Mar 2005 08:00:00 +0000
MIME-Version: 1.0
Content-Type: multipart/mixed; boundary="inner-b"

--inner-b
Content-Type: text/plain; charset=us-ascii

The forwarded text.
--inner-b
Content-Type: text/plain; name="notes.txt"
Content-Disposition: attachment; filename="notes.txt"

inner attachment
--inner-b--
'''

write('attached-mail', b'''From: Forwarder <fwd@example.com>
To: team@example.com
Subject: Fw: The original mail
Date: Wed, 09 Mar 2005 09:00:00 +0000
MIME-Version: 1.0
Content-Type: multipart/mixed; boundary="outer-b"

--outer-b
Content-Type: text/plain; charset=us-ascii

Forwarding this.
--outer-b
Content-Type: message/rfc822

''' + INNER + b'''
--outer-b
Content-Type: application/octet-stream
Content-Disposition: attachment; filename="data.uu"
Content-Transfer-Encoding: x-uuencode

begin 644 data.uu
''' + b''.join(binascii.b2a_uu(bytes(range(i, i + 45)))
                for i in range(0, 180, 45)) + b'''`
end
--outer-b--
''', crlf=True)

write('no-mime', b'''From: plain@example.com
To: "Group": one@example.com, Two <two@example.com>;, three@example.com
Subject: No MIME headers at all
Date: Sat, 5 Mar 2005 11:11:11 -0800

Just text, written before MIME.
''')

write('no-structure', b'''this is not a mail header
just some lines of text
that a damaged folder left behind
''')

write('nul-bytes', b'From: nul@example.com\nSubject: Zero bytes\n'
      b'Content-Type: text/plain; charset=us-ascii\n\nbefore\x00middle\x00after\nend\n')
