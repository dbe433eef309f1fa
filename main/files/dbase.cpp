#include "main/files/dbase.h"

#include "main/app/frm_main.h"
#include "platform/automation/vb_error.h"
#include "platform/settings/stored_file.h"
#include "platform/text/cp1252.h"
#include "platform/text/vb.h"
#include "platform/ui/dialogs.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

namespace files {

namespace detail {

struct Field {
    std::string name; // stored bytes without the zero bytes
    char type = 'N';
    int width = 0, decimals = 0;
    std::int64_t offset = 0; // from the record's first byte (the flag)
    std::string key;         // the name as field names compare: UTF-8, trimmed, upper-cased
};

struct Table {
    std::uint8_t version = 0;
    std::array<std::uint8_t, 3> date{};
    std::uint32_t count = 0;
    std::uint32_t header_length = 0, record_length = 0;
    std::vector<Field> fields;
    std::int64_t size = 0;
    std::string blank; // a new record: the flag, every field's blank value, the end-of-file byte
};

} // namespace detail

namespace {

using detail::BinaryFile;
using detail::Field;
using detail::Table;
using Bytes = std::vector<std::uint8_t>;

// The header and descriptors, checked against the real file: the header,
// the descriptors and count x record length must all lie inside it.
std::optional<Table> read_table(const BinaryFile& f)
{
    Table t;
    t.size = f.size();
    if (t.size < 32) return std::nullopt;
    // One read for the header and, for all but the widest tables, every descriptor.
    Bytes h(std::size_t(std::min<std::int64_t>(t.size, 4096)));
    if (!f.read_at(0, h.data(), h.size())) return std::nullopt;
    t.version = h[0];
    t.date = {h[1], h[2], h[3]};
    t.count = detail::u32le(&h[4]);
    t.header_length = h[8] | (h[9] << 8);
    t.record_length = h[10] | (h[11] << 8);
    if (t.header_length < 33 || t.header_length > t.size) return std::nullopt;
    if (std::int64_t(t.header_length) + std::int64_t(t.count) * t.record_length > t.size) return std::nullopt;
    // Only whole descriptors that end before the header's terminator count:
    // a header of another length then still gains exactly one field per
    // field added.
    const std::int64_t n = (std::int64_t(t.header_length) - 33) / 32;
    if (32 + 32 * n > t.size) return std::nullopt;
    if (std::size_t(32 + 32 * n) > h.size()) {
        h.resize(std::size_t(32 + 32 * n));
        if (!f.read_at(0, h.data(), h.size())) return std::nullopt;
    }
    const std::uint8_t* d = h.data() + 32;
    std::int64_t offset = 1;
    for (std::int64_t i = 0; i < n; ++i) {
        const std::uint8_t* p = &d[std::size_t(32 * i)];
        Field fd;
        for (int k = 0; k < 10; ++k)
            if (p[k]) fd.name += char(p[k]);
        fd.type = char(p[11]);
        fd.width = p[16];
        fd.decimals = p[17];
        fd.key = platform::vb::UCase(platform::vb::Trim(platform::cp1252_to_utf8(fd.name)));
        fd.offset = offset;
        offset += fd.width;
        t.fields.push_back(std::move(fd));
    }
    if (offset > t.record_length) return std::nullopt; // fields wider than a record
    return t;
}

struct Spec {
    std::string name; // Windows-1252, upper-cased, at most 10 bytes
    char type = 'N';
    int width = 0, decimals = 0;
};

bool small_number(const std::string& s, int& out)
{
    const std::string t = platform::vb::Trim(s);
    if (t.empty() || t.size() > 6) return false;
    for (char c : t)
        if (c < '0' || c > '9') return false;
    out = std::atoi(t.c_str());
    return out <= 255;
}

// "name,type,width[,decimals[,...]]"
std::optional<Spec> parse_spec(const std::string& text)
{
    const auto parts = platform::vb::Split(text, ",");
    if (parts.size() < 3) return std::nullopt;
    Spec s;
    s.name = platform::utf8_to_cp1252(platform::vb::UCase(parts[0])).substr(0, 10);
    s.type = platform::vb::UCase(parts[1]) == "C" ? 'C' : 'N';
    if (!small_number(parts[2], s.width)) return std::nullopt;
    if (parts.size() > 3 && !small_number(parts[3], s.decimals)) return std::nullopt;
    return s;
}

Bytes descriptor(const Spec& s)
{
    Bytes d(32, 0);
    std::memcpy(d.data(), s.name.data(), s.name.size());
    d[11] = std::uint8_t(s.type);
    d[16] = std::uint8_t(s.width);
    d[17] = std::uint8_t(s.decimals);
    return d;
}

std::string text_bytes(const std::string& utf8, int width, char fill)
{
    std::string b = platform::utf8_to_cp1252(utf8).substr(0, std::size_t(std::max(width, 0)));
    b.resize(std::size_t(std::max(width, 0)), fill);
    return b;
}

// Right-aligned number text; a number wider than its field is never cut
// into another number: the field is filled with "*", the overflow mark.
std::string number_bytes(const std::string& digits, int width, bool& fits)
{
    fits = int(digits.size()) <= width;
    if (!fits) return std::string(std::size_t(width), '*');
    return std::string(std::size_t(width) - digits.size(), ' ') + digits;
}

std::string decimal_text(double value, int decimals)
{
    return platform::vb::Format(value, "0." + std::string(std::size_t(std::min(decimals, 20)), '0'));
}

// A blank field of a new record or a new column.
std::string blank_value(char type, int width, int decimals)
{
    bool fits = true;
    if (type == 'C') return std::string(std::size_t(width), ' ');
    if (decimals > 0) return number_bytes(decimal_text(0, decimals), width, fits);
    return number_bytes("0", width, fits);
}

std::string name_key(const std::string& given)
{
    return platform::vb::UCase(platform::vb::Trim(given));
}

// The bytes DBF_PutRecord writes for `value` into the field; nothing when
// the value is no number for an N field (the field keeps what it holds).
// `fits` turns false when the value is no number or does not fit.
std::optional<std::string> field_bytes(const Field& fd, const std::string& value, bool& fits)
{
    if (fd.type == 'C') return text_bytes(value, fd.width, ' ');
    // An empty cell, the commonest text that is no number, without the
    // cost of a raised error.
    if (value.find_first_not_of(' ') == std::string::npos) {
        fits = false;
        return std::nullopt;
    }
    double number = 0;
    try {
        number = platform::vb::CDbl(value);
    } catch (const platform::VbError&) {
        fits = false;
        return std::nullopt;
    }
    bool ok = std::isfinite(number);
    std::string b;
    if (fd.decimals > 0) {
        b = ok ? number_bytes(decimal_text(number, fd.decimals), fd.width, ok) : std::string(std::size_t(fd.width), '*');
    } else {
        try {
            b = number_bytes(std::to_string(platform::vb::CLng(number)), fd.width, ok);
        } catch (const platform::VbError&) {
            // Beyond 32 bits: too wide for the field whatever its width.
            b = std::string(std::size_t(fd.width), '*');
            ok = false;
        }
    }
    fits = fits && ok;
    return b;
}

// Held back at most this many bytes of records before writing them.
constexpr std::size_t kHoldAtMost = 1 << 20;

} // namespace

DBase::DBase(platform::Dialogs& dialogs, Today today) : dialogs_(dialogs), today_(std::move(today))
{
    // The computer's date, looked up again only when the clock's second
    // changed: the writers ask for it on every call.
    if (!today_)
        today_ = [last = std::time_t(-1), date = platform::vb::Date{}]() mutable {
            const std::time_t now = std::time(nullptr);
            if (now != last) last = now, date = platform::vb::Now();
            return date;
        };
}

DBase::~DBase()
{
    for (auto& [file, p] : pending_) DBF_Flush(file);
}

DBase::Pending* DBase::pending_of(std::int16_t file) { return &pending_[file]; }

bool DBase::DBF_Flush(std::int16_t file)
{
    auto it = pending_.find(file);
    if (it == pending_.end()) return true;
    Pending& p = it->second;
    BinaryFile* f = file_of(file);
    if (!p.tail.empty() && (!f || !f->write_at(p.at, p.tail.data(), p.tail.size()))) p.failed = true;
    p.tail.clear();
    p.at = -1;
    if (p.header) {
        // The date and the count as the table holds them now.
        const auto t = tables_.find(file);
        std::uint8_t h[7];
        if (t == tables_.end() || !t->second) {
            p.failed = true;
        } else {
            std::memcpy(h, t->second->date.data(), 3);
            detail::put_u32le(h + 3, t->second->count);
            if (!f || !f->write_at(1, h, 7)) p.failed = true;
        }
        p.header = false;
    }
    return !p.failed;
}

BinaryFile* DBase::file_of(std::int16_t file)
{
    auto it = files_.find(file);
    return it == files_.end() || !it->second.is_open() ? nullptr : &it->second;
}

std::shared_ptr<Table> DBase::table_of(std::int16_t file)
{
    BinaryFile* f = file_of(file);
    if (!f) return nullptr;
    auto& cached = tables_[file];
    if (!cached) {
        auto t = read_table(*f);
        if (t) cached = std::make_shared<Table>(std::move(*t));
    }
    return cached;
}

std::int16_t DBase::add_file(BinaryFile f)
{
    for (std::int16_t n = 1; n <= 511; ++n)
        if (!files_.count(n)) {
            files_.emplace(n, std::move(f));
            tables_.erase(n);
            pending_.erase(n);
            return n;
        }
    return -1;
}

std::array<std::uint8_t, 3> DBase::date_bytes(bool& ok) const
{
    const platform::vb::Date d = today_();
    ok = d.year >= 1900 && d.year - 1900 <= 255;
    return {std::uint8_t(d.year - 1900), std::uint8_t(d.month), std::uint8_t(d.day)};
}

std::int16_t DBase::DBF_Open(const std::string& fileName)
{
    // A table whose name differs only in case is the same table.
    const std::string found = platform::find_any_case(fileName);
    const std::string& path = found.empty() ? fileName : found;
    BinaryFile f = BinaryFile::open(path, BinaryFile::Create);
    if (!f.is_open()) f = BinaryFile::open(path, BinaryFile::ReadOnly);
    if (!f.is_open()) return -1;
    return add_file(std::move(f));
}

int DBase::DBF_WriteError(std::int16_t file)
{
    const BinaryFile* f = file_of(file);
    return f ? f->write_error() : 0;
}

bool DBase::DBF_Close(std::int16_t file)
{
    DBF_Flush(file);
    files_.erase(file);
    tables_.erase(file);
    pending_.erase(file);
    return true;
}

std::int16_t DBase::DBF_Create(const std::string& fileName, const std::vector<std::string>& specs)
{
    std::vector<Spec> parsed;
    std::size_t record_length = 1;
    for (const auto& s : specs) {
        auto p = parse_spec(s);
        if (!p) return -1;
        record_length += std::size_t(p->width);
        parsed.push_back(std::move(*p));
    }
    const std::size_t header_length = 32 * parsed.size() + 33;
    bool date_ok = false;
    const auto date = date_bytes(date_ok);
    if (!date_ok || header_length > 0xFFFF || record_length > 0xFFFF) return -1;

    Bytes b(32, 0);
    b[0] = 3;
    std::memcpy(&b[1], date.data(), 3);
    b[8] = std::uint8_t(header_length);
    b[9] = std::uint8_t(header_length >> 8);
    b[10] = std::uint8_t(record_length);
    b[11] = std::uint8_t(record_length >> 8);
    b[29] = 87;
    for (const auto& s : parsed) {
        const Bytes d = descriptor(s);
        b.insert(b.end(), d.begin(), d.end());
    }
    b.push_back(13);

    File_Delete(fileName);
    BinaryFile f = BinaryFile::open(fileName, BinaryFile::Truncate);
    if (!f.is_open() || !f.write_at(0, b)) return -1;
    return add_file(std::move(f));
}

bool DBase::DBF_CheckVersion(std::int16_t file)
{
    BinaryFile* f = file_of(file);
    std::uint8_t v = 0;
    if (!f || (f->size() > 0 && !f->read_at(0, &v, 1))) return false;
    return v <= 3 || ask_to_write();
}

bool DBase::ask_to_write()
{
    const std::string answer =
        dialogs_.InputBox("Warning: DBF file does not support DBASE Version 7, Contnue?",
                          "Might be a problem...Send me the file to test???", "Yes");
    const std::string a = platform::vb::UCase(platform::vb::Trim(answer));
    return a.empty() || a[0] != 'N';
}

// The writers' version check, on the header they have just read.
bool DBase::writable_table(const BinaryFile& f, std::uint8_t version)
{
    return f.writable() && (version <= 3 || ask_to_write());
}

std::int32_t DBase::DBF_GetRecordCount(std::int16_t file)
{
    const auto t = table_of(file);
    if (!t || t->count > 0x7FFFFFFF) return -1;
    return std::int32_t(t->count);
}

std::optional<std::vector<std::string>> DBase::DBF_GetFields(std::int16_t file)
{
    const auto t = table_of(file);
    if (!t) return std::nullopt;
    std::vector<std::string> out;
    for (const auto& fd : t->fields)
        out.push_back(platform::cp1252_to_utf8(fd.name) + "," + platform::cp1252_to_utf8(std::string(1, fd.type)) +
                      "," + std::to_string(fd.width) + "," + std::to_string(fd.decimals));
    return out;
}

std::int32_t DBase::DBF_AddRecord(std::int16_t file)
{
    BinaryFile* fp = file_of(file);
    const auto t = table_of(file);
    if (!t || !writable_table(*fp, t->version) || t->fields.empty() || t->count >= 0x7FFFFFFF) return -1;
    Pending& p = *pending_of(file);
    if (p.failed) return -1;
    bool date_ok = false;
    const auto date = date_bytes(date_ok);
    if (!date_ok) return -1;

    if (t->blank.empty()) {
        t->blank = " ";
        for (const auto& fd : t->fields) t->blank += blank_value(fd.type, fd.width, fd.decimals);
        if (t->blank.size() < t->record_length) t->blank.resize(t->record_length, ' ');
        t->blank.push_back(26);
    }
    // The new record goes right after the last one, whatever follows them;
    // the record before it, held back, ends in the end-of-file byte it
    // takes the place of.
    const std::int64_t at = std::int64_t(t->header_length) + std::int64_t(t->count) * t->record_length;
    if (!p.tail.empty() && p.at + std::int64_t(p.tail.size()) - 1 == at) {
        p.tail.pop_back();
        p.tail += t->blank;
    } else {
        if (!DBF_Flush(file)) return -1;
        p.at = at;
        p.tail = t->blank;
    }
    t->count += 1;
    t->date = date;
    t->size = std::max(t->size, p.at + std::int64_t(p.tail.size()));
    p.header = true;
    if (p.tail.size() >= kHoldAtMost && !DBF_Flush(file)) return -1;
    return std::int32_t(t->count);
}

std::optional<DBase::Records> DBase::DBF_GetRecords(std::int16_t file, std::int32_t recno)
{
    const auto t = table_of(file);
    if (!t || !DBF_Flush(file)) return std::nullopt;
    Records out;
    if (t->fields.empty()) return out;
    auto keep = [&](const std::vector<std::string_view>& raw) {
        std::vector<std::string> values;
        values.reserve(raw.size());
        for (const auto& v : raw) values.push_back(platform::cp1252_to_utf8(v));
        out.push_back(std::move(values));
        return true;
    };
    if (recno <= 0) return DBF_ReadRecords(file, keep) ? std::optional<Records>(std::move(out)) : std::nullopt;
    if (std::uint32_t(recno) > t->count) return out;
    std::string rec(t->record_length, '\0');
    if (!file_of(file)->read_at(std::int64_t(t->header_length) + std::int64_t(recno - 1) * t->record_length,
                                rec.data(), rec.size()))
        return std::nullopt;
    std::vector<std::string_view> raw;
    for (const auto& fd : t->fields) raw.emplace_back(rec.data() + fd.offset, std::size_t(fd.width));
    keep(raw);
    return out;
}

bool DBase::DBF_ReadRecords(std::int16_t file, const std::function<bool(const std::vector<std::string_view>&)>& each)
{
    BinaryFile* f = file_of(file);
    const auto t = table_of(file);
    if (!t || !DBF_Flush(file)) return false;
    if (t->fields.empty()) return true;
    // A piece of records at a time.
    const std::size_t rl = t->record_length;
    const std::uint32_t per_piece = std::uint32_t(std::max<std::size_t>(1, kHoldAtMost / std::max<std::size_t>(rl, 1)));
    std::string block;
    std::vector<std::string_view> raw(t->fields.size());
    for (std::uint32_t first = 0; first < t->count; first += per_piece) {
        const std::uint32_t n = std::min(per_piece, t->count - first);
        block.resize(std::size_t(n) * rl);
        if (!f->read_at(std::int64_t(t->header_length) + std::int64_t(first) * std::int64_t(rl), block.data(),
                        block.size()))
            return false;
        for (std::uint32_t r = 0; r < n; ++r) {
            const char* rec = block.data() + std::size_t(r) * rl;
            if (rec[0] == '*') continue; // deleted
            for (std::size_t i = 0; i < raw.size(); ++i)
                raw[i] = std::string_view(rec + t->fields[i].offset, std::size_t(t->fields[i].width));
            if (!each(raw)) return true;
        }
    }
    return true;
}

bool DBase::put_field(std::int16_t file, const std::string& bytes, bool fits)
{
    BinaryFile* f = file_of(file);
    if (!f || !DBF_Flush(file)) return false;
    // A value written into the header makes the table read again.
    auto t = tables_.find(file);
    if (t != tables_.end() && t->second && f->position() < std::int64_t(t->second->header_length)) tables_.erase(t);
    return f->put(bytes) && fits;
}

bool DBase::Field_PutText(std::int16_t file, const std::string& text, int width, std::uint8_t fill)
{
    return put_field(file, text_bytes(text, width, char(fill)), true);
}

bool DBase::Field_PutInteger(std::int16_t file, std::int32_t value, int width)
{
    bool fits = true;
    const std::string b = number_bytes(std::to_string(value), width, fits);
    return put_field(file, b, fits);
}

bool DBase::Field_PutDecimal(std::int16_t file, double value, int width, int decimals)
{
    bool fits = std::isfinite(value);
    std::string b;
    if (fits) b = number_bytes(decimal_text(value, decimals), width, fits);
    else b = std::string(std::size_t(width), '*');
    return put_field(file, b, fits);
}

bool DBase::DBF_PutRecord(std::int16_t file, const std::string& fieldName, std::int32_t recno,
                          const std::string& value)
{
    BinaryFile* fp = file_of(file);
    const auto t = table_of(file);
    if (!t || !writable_table(*fp, t->version) || t->fields.empty()) return false;
    BinaryFile& f = *fp;
    Pending& p = *pending_of(file);
    if (p.failed) return false;
    bool date_ok = false;
    const auto date = date_bytes(date_ok);
    if (!date_ok) return false;
    if (date != t->date) {
        t->date = date;
        p.header = true;
    }
    if (recno < 1 || std::uint32_t(recno) > t->count) return false;

    // A record still held back is filled where it is held.
    const std::int64_t start = std::int64_t(t->header_length) + std::int64_t(recno - 1) * t->record_length;
    const bool held = !p.tail.empty() && start >= p.at &&
                      start + std::int64_t(t->record_length) <= p.at + std::int64_t(p.tail.size());
    if (!held && !DBF_Flush(file)) return false;
    bool matched = false, ok = true;
    const std::string key = name_key(fieldName);
    for (const auto& fd : t->fields) {
        if (fd.key != key) continue;
        matched = true;
        const auto bytes = field_bytes(fd, value, ok);
        if (!bytes) continue;
        if (held) {
            std::memcpy(&p.tail[std::size_t(start - p.at + fd.offset)], bytes->data(), bytes->size());
            f.seek(start + fd.offset + std::int64_t(bytes->size()));
        } else {
            f.seek(start + fd.offset);
            if (!f.put(*bytes)) p.failed = true, ok = false;
        }
    }
    return matched && ok;
}

bool DBase::DBF_AddFields(std::int16_t file, const std::string& spec)
{
    BinaryFile* fp = file_of(file);
    if (!fp) return false;
    BinaryFile& f = *fp;
    const auto t = table_of(file);
    if (!DBF_Flush(file) || !writable_table(f, t ? t->version : 0)) return false;
    const auto s = parse_spec(spec);
    if (s && t)
        for (const auto& fd : t->fields)
            if (fd.key == name_key(platform::cp1252_to_utf8(s->name))) return false;
    tables_.erase(file); // the table is rebuilt below

    const std::string path = f.path();
    const auto fail = [&] {
        DBF_Close(file);
        return false;
    };
    bool date_ok = false;
    const auto date = date_bytes(date_ok);
    if (!s || !t || !date_ok || t->header_length + 32 > 0xFFFF ||
        t->record_length + std::uint32_t(s->width) > 0xFFFF)
        return fail();

    // The old table, copied whole to the TEMP folder first.
    Bytes old(std::size_t(t->size));
    if (!old.empty() && !f.read_at(0, old.data(), old.size())) return fail();
    const std::string copy = TempFolder_Get() + "Temp$dbf.dbf";
    File_Delete(copy);
    {
        BinaryFile c = BinaryFile::open(copy, BinaryFile::Truncate);
        if (!c.is_open() || !c.write_at(0, old)) return fail();
    }

    // The new table: header, old descriptors, the new one, the rest of the
    // header, then every record with its new blank field.
    const std::size_t hl = t->header_length, rl = t->record_length;
    const std::size_t insert_at = std::min<std::size_t>(32 + 32 * t->fields.size(), hl - 1);
    Bytes b(old.begin(), old.begin() + std::ptrdiff_t(insert_at));
    b[0] = 3;
    std::memcpy(&b[1], date.data(), 3);
    b[8] = std::uint8_t(hl + 32);
    b[9] = std::uint8_t((hl + 32) >> 8);
    b[10] = std::uint8_t(rl + std::size_t(s->width));
    b[11] = std::uint8_t((rl + std::size_t(s->width)) >> 8);
    const Bytes d = descriptor(*s);
    b.insert(b.end(), d.begin(), d.end());
    b.insert(b.end(), old.begin() + std::ptrdiff_t(insert_at), old.begin() + std::ptrdiff_t(hl));
    const std::string blank = blank_value(s->type, s->width, s->decimals);
    b.reserve(b.size() + t->count * (rl + blank.size()) + 1);
    for (std::uint32_t r = 0; r < t->count; ++r) {
        const auto rec = old.begin() + std::ptrdiff_t(hl + r * rl);
        b.insert(b.end(), rec, rec + std::ptrdiff_t(rl));
        b.insert(b.end(), blank.begin(), blank.end());
    }
    if (t->count > 0) b.push_back(26);

    // Written beside the table and put in its place only when complete.
    std::string tmp = path + ".XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0) return fail();
    struct stat st {};
    bool written = ::stat(path.c_str(), &st) == 0 && ::fchmod(fd, st.st_mode & 07777) == 0;
    for (std::size_t done = 0; written && done < b.size();) {
        const ssize_t w = ::write(fd, b.data() + done, b.size() - done);
        if (w < 0 && errno == EINTR) continue;
        written = w > 0;
        if (written) done += std::size_t(w);
    }
    written = ::close(fd) == 0 && written;
    if (!written || ::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return fail();
    }
    BinaryFile fresh = BinaryFile::open(path, BinaryFile::ReadWrite);
    if (!fresh.is_open()) return fail();
    f = std::move(fresh);
    return true;
}

std::array<std::uint8_t, 4> DBase::Long_ToBytes(std::uint32_t value)
{
    std::array<std::uint8_t, 4> b{};
    detail::put_u32le(b.data(), value);
    return b;
}

std::uint32_t DBase::Bytes_ToLong(const std::array<std::uint8_t, 4>& bytes) { return detail::u32le(bytes.data()); }

bool DBase::File_Delete(const std::string& fileName)
{
    ::unlink(fileName.c_str());
    return true;
}

std::string DBase::TempFolder_Get()
{
    std::string dir;
    try {
        dir = app::temp_folder();
    } catch (const platform::VbError&) {
        return "/";
    }
    if (dir.empty() || dir.back() != '/') dir += '/';
    return Folder_Exists(dir) ? dir : "/";
}

bool DBase::Folder_Exists(const std::string& path)
{
    const std::string name = path + (!path.empty() && path.back() == '/' ? "." : "/.");
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    if (errno != ENOENT && errno != ENOTDIR)
        dialogs_.MsgBox("Error Finding: " + name, platform::vbCritical, "Directory Does Not Exist");
    return false;
}

bool DBase::Shapefile_WriteEmptyHeader(const std::string& fileName, const std::string& kind)
{
    const std::string k = platform::vb::UCase(platform::vb::Trim(kind));
    std::uint8_t type = 0;
    if (k == "POINT") type = 1;
    else if (k == "LINE") type = 3;
    else if (k == "POLYGON") type = 5;
    else
        dialogs_.MsgBox("The function must be passed a string either Point, Line, or Polygon", platform::vbCritical,
                        "Programming ERROR");
    Bytes h(100, 0);
    h[2] = 0x27;
    h[3] = 0x0A;
    h[27] = 50;
    h[28] = 0xE8;
    h[29] = 0x03;
    h[32] = type;
    h[58] = 0xF0;
    h[59] = 0xBF;
    h[66] = 0xF0;
    h[67] = 0xBF;
    File_Delete(fileName);
    BinaryFile f = BinaryFile::open(fileName, BinaryFile::Truncate);
    return f.is_open() && f.write_at(0, h);
}

} // namespace files
