// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/pst_readback.h"

#include <array>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace mailmend::testing {
namespace {

namespace fs = std::filesystem;

// Turns each reader's output into lines the test parses: "F folder", "M folder" (a new
// mail), "S key value", "A name size crc"; texts are hex-encoded UTF-8.
const char* const kScript = R"PY(
import sys, os, re, zlib, email, calendar, datetime, base64
from email import policy
out = []
mode, src = sys.argv[1], sys.argv[2]
def astral(s): return re.sub('[\U00010000-\U0010FFFF]', '?', s or '')
# libpff of this age decodes characters beyond U+FFFF wrongly: the test masks them.
def hx(s): return (astral(s) if mode != 'readpst' else (s or '')).encode('utf-8', 'surrogatepass').hex()
def folder(p): out.append('F ' + hx(p))
def mail(p): out.append('M ' + hx(p))
def field(k, v): out.append('S %s %s' % (k, hx(v)))
def att(n, d, mime='', cid=''): out.append('A %s %d %d %s %s' % (hx(n), len(d), zlib.crc32(d), hx(mime) or '-', hx(cid) or '-'))
if mode == 'readpst':
    top = os.path.join(src, sorted(os.listdir(src))[0])
    for d, dirs, files in os.walk(top):
        dirs.sort()
        rel = os.path.relpath(d, top)
        if rel == '.': continue
        folder(rel)
        for f in sorted((f for f in files if f.endswith('.eml')), key=lambda f: int(f.split('.')[0])):
            m = email.message_from_binary_file(open(os.path.join(d, f), 'rb'), policy=policy.default)
            mail(rel)
            field('subject', str(m['subject'] or ''))
            a = m['from'].addresses[0] if m['from'] and m['from'].addresses else None
            field('sender', a.display_name if a else '')
            field('address', a.username + '@' + a.domain if a else '')
            field('to', str(m['to'] or '')); field('cc', str(m['cc'] or ''))
            if m['date']: field('date', str(int(m['date'].datetime.timestamp())))
            def parts(p):
                yield p
                if p.is_multipart() and p.get_content_type() != 'message/rfc822':
                    for s in p.get_payload(): yield from parts(s)
            for p in parts(m):
                if p.get_filename() and p.get_content_type() == 'message/rfc822':
                    # readpst gives attached mails in base64, which a parser takes for text.
                    att(p.get_filename(), base64.b64decode(p.get_payload(0).get_payload()), p.get_content_type())
                elif p.get_filename():
                    att(p.get_filename(), p.get_payload(decode=True) or b'', p.get_content_type(),
                        str(p['content-id'] or '').strip('<>'))
                elif p.get_content_type() == 'text/plain': field('plain', p.get_content())
                elif p.get_content_type() == 'text/html': field('html', p.get_content())
elif mode == 'pffexport':
    top = os.path.join(src, 'Top of Personal Folders')
    for d, dirs, files in os.walk(top):
        dirs.sort()
        rel = os.path.relpath(d, top)
        if rel == '.': continue
        if not re.fullmatch(r'Message\d{5}', os.path.basename(d)):
            folder(rel); continue
        dirs[:] = []
        mail(os.path.dirname(rel))
        read = lambda n: open(os.path.join(d, n), 'rb').read().decode('utf-8') if n in files else ''
        head = dict(l.split(':', 1) for l in read('OutlookHeaders.txt').splitlines() if ':' in l)
        get = lambda k: head.get(k, '').strip()
        field('subject', get('Subject')); field('sender', get('Sender name'))
        field('address', get('Sender email address')); field('flags', get('Flags').split(' ')[0])
        field('topic', get('Conversation topic'))
        if get('Client submit time'):
            t = datetime.datetime.strptime(get('Client submit time').split('.')[0], '%b %d, %Y %H:%M:%S')
            field('date', str(calendar.timegm(t.timetuple())))
        lists = {'To': [], 'CC': []}
        for r in read('Recipients.txt').split('\n\n'):
            e = dict((k.strip(), v.strip()) for k, v in (l.split(':', 1) for l in r.splitlines() if ':' in l))
            lists.setdefault(e.get('Recipient type', ''), []).append(e.get('Display name', ''))
        field('to', '; '.join(lists['To'])); field('cc', '; '.join(lists['CC']))
        field('plain', read('Message.txt')); field('html', read('Message.html'))
        ad = os.path.join(d, 'Attachments')
        for n in sorted(os.listdir(ad) if os.path.isdir(ad) else [], key=lambda n: int(n.split('_')[0])):
            att(n.split('_', 1)[1], open(os.path.join(ad, n), 'rb').read())
elif mode == 'pypff':
    import pypff
    f = pypff.file(); f.open(src)
    root = f.get_root_folder()
    def walk(fo, path):
        if path: folder(path)
        for i in range(fo.number_of_sub_messages):
            m = fo.get_sub_message(i); mail(path)
            field('subject', m.subject); field('sender', m.sender_name)
            field('plain', (m.plain_text_body or b'').decode('utf-8'))
            field('html', (m.html_body or b'').decode('utf-8'))
            if m.client_submit_time: field('date', str(calendar.timegm(m.client_submit_time.timetuple())))
            for j in range(m.number_of_attachments):
                a = m.get_attachment(j)
                v = dict((e.entry_type, e.data_as_string) for e in a.get_record_set(0).entries
                         if e.entry_type in (0x3707, 0x370E, 0x3712))
                att(v.get(0x3707, ''), a.read_buffer(a.size) if a.size else b'', v.get(0x370E, ''), v.get(0x3712, ''))
        for i in range(fo.number_of_sub_folders):
            s = fo.get_sub_folder(i)
            walk(s, (path + '/' if path else '') + s.name)
    for i in range(root.number_of_sub_folders):
        if root.get_sub_folder(i).name == 'Top of Personal Folders': walk(root.get_sub_folder(i), '')
sys.stdout.write('\n'.join(out) + '\n')
)PY";

std::string unhex(const std::string& hex)
{
    std::string text;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        text += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return text;
}

bool haveProgram(const std::string& name)
{
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

std::string quoted(const fs::path& path)
{
    std::string text = "'";
    for (char c : path.string())
        text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return text + "'";
}

ReadStore parse(std::istream& in)
{
    ReadStore store;
    ReadMail* current = nullptr;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string kind, first, second;
        words >> kind >> first;
        if (kind == "F") {
            store[unhex(first)];
        } else if (kind == "M") {
            current = &store[unhex(first)].emplace_back();
        } else if (kind == "S" && current) {
            words >> second;
            current->fields[first] = unhex(second);
        } else if (kind == "A" && current) {
            ReadAttachment attachment;
            attachment.name = unhex(first);
            std::string mime, contentId;
            words >> attachment.size >> attachment.crc >> mime >> contentId;
            attachment.mimeType = unhex(mime);
            attachment.contentId = unhex(contentId);
            current->attachments.push_back(attachment);
        }
    }
    return store;
}

} // namespace

const char* pstReaderName(PstReader reader)
{
    switch (reader) {
    case PstReader::Readpst:
        return "readpst";
    case PstReader::Pffexport:
        return "pffexport";
    default:
        return "pypff";
    }
}

std::optional<ReadStore> readPstStore(PstReader reader, const fs::path& pst, const fs::path& work,
                                      std::string& missing)
{
    const std::string python = MAILMEND_SYSTEM_PYTHON;
    fs::create_directories(work);
    const fs::path script = work / "readback.py";
    std::ofstream(script) << kScript;
    std::string command;
    fs::path source = work / "out";
    if (python.empty()) {
        missing = "no system python3";
    } else if (reader == PstReader::Readpst) {
        if (!haveProgram("readpst"))
            missing = "readpst is not installed";
        fs::create_directories(source);
        // Its default parallel mode drops mails at random, hence -j 0.
        command = "readpst -q -j 0 -D -e -o " + quoted(source) + " " + quoted(pst);
    } else if (reader == PstReader::Pffexport) {
        if (!haveProgram("pffexport"))
            missing = "pffexport is not installed";
        command = "pffexport -q -f all -t " + quoted(work / "out") + " " + quoted(pst);
        source = work / "out.export";
    } else {
        if (std::system((python + " -c 'import pypff' 2>/dev/null").c_str()) != 0)
            missing = "python3-pypff is not installed";
        source = pst;
    }
    if (!missing.empty())
        return std::nullopt;
    if (!command.empty())
        std::system((command + " >" + quoted(work / "reader.log") + " 2>&1").c_str());
    const fs::path listing = work / "listing.txt";
    std::system((python + " " + quoted(script) + " " + pstReaderName(reader) + " "
                 + quoted(source) + " >" + quoted(listing) + " 2>>" + quoted(work / "reader.log"))
                    .c_str());
    std::ifstream in(listing);
    return parse(in);
}

std::uint32_t zlibCrc(const void* data, std::size_t size, std::uint32_t crc)
{
    static const auto table = [] {
        std::array<std::uint32_t, 256> t {};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    const auto* bytes = static_cast<const unsigned char*>(data);
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i)
        crc = table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

} // namespace mailmend::testing
