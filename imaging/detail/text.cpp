// Text on the target: fonts, colours, alignment, TextOut and
// GetTextDimensions.
#include "imaging/detail/image_object.h"

#include "platform/text/cp1252.h"

#include <iconv.h>

namespace glimmerax {
namespace gdi = platform::gdi;

namespace {

std::u32string utf8_to_u32(const std::string& s)
{
    std::u32string out;
    for (std::size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        int n = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        char32_t v = n == 0 ? c : c & (0x3F >> n);
        if (i + std::size_t(n) >= s.size() + (n ? 0 : 1)) break;
        for (int k = 1; k <= n; ++k) v = v << 6 | (static_cast<unsigned char>(s[i + std::size_t(k)]) & 0x3F);
        out.push_back(v);
        i += std::size_t(n) + 1;
    }
    return out;
}

// The system code-page bytes of a text read as code page `cp` (iconv's
// "CP" and the number); empty when the code page is unknown.
std::u32string from_code_page(const std::string& bytes, int cp)
{
    iconv_t cd = iconv_open("UTF-32LE", ("CP" + std::to_string(cp)).c_str());
    if (cd == iconv_t(-1)) return {};
    std::string in = bytes;
    std::vector<char> out(in.size() * 4 + 4);
    char* ip = in.data();
    char* op = out.data();
    std::size_t il = in.size(), ol = out.size();
    iconv(cd, &ip, &il, &op, &ol);
    iconv_close(cd);
    std::u32string r;
    for (const char* p = out.data(); p + 4 <= op; p += 4)
        r.push_back(char32_t(std::uint8_t(p[0]) | std::uint8_t(p[1]) << 8 | std::uint8_t(p[2]) << 16 | std::uint32_t(std::uint8_t(p[3])) << 24));
    return r;
}

constexpr std::pair<const char*, int> kWeights[] = {{"FW_DONTCARE", 0},   {"FW_THIN", 100},   {"FW_EXTRALIGHT", 200},
                                                    {"FW_LIGHT", 300},     {"FW_NORMAL", 400}, {"FW_MEDIUM", 500},
                                                    {"FW_SEMIBOLD", 600},  {"FW_BOLD", 700},   {"FW_EXTRABOLD", 800},
                                                    {"FW_BLACK", 900}};

} // namespace

// The text of an argument as code points: as system code-page characters,
// as wide characters (varUnicode true), or its code-page bytes read as
// code page varUnicode (a number).
std::u32string ImageObject::TextArg(const Variant& text, const Variant& unicode) const
{
    std::string s;
    if (!Text(text, &s)) return {};
    if (!unicode.IsMissing() && unicode.Type() != platform::VarType::Boolean && Num(unicode) > 0)
        return from_code_page(platform::utf8_to_cp1252(s), Num(unicode));
    if (Flag(unicode)) return utf8_to_u32(s);
    return utf8_to_u32(platform::cp1252_to_utf8(platform::utf8_to_cp1252(s)));
}

void ImageObject::TextMember(platform::DispId id, Args& a)
{
    if (!bits_) return;
    std::uint32_t c = 0;
    switch (id) {
    case 0x0D: // SetBkColor(color)
        if (Colour(a[0], &c)) gdi::SetBkColor(target_dc_, c);
        break;
    case 0x10: // SetTextColor(color)
        if (Colour(a[0], &c)) gdi::SetTextColor(target_dc_, c);
        break;
    case 0x0E: { // SetBkMode(mode)
        std::string m;
        Text(a[0], &m);
        gdi::SetBkMode(target_dc_, m == "TRANSPARENT" ? gdi::TRANSPARENT : gdi::OPAQUE);
        break;
    }
    case 0x18: { // SetTextAlign(horizontal, vertical)
        std::string h, v;
        Text(a[0], &h), Text(a[1], &v);
        int f = h == "TA_CENTER" ? gdi::TA_CENTER : h == "TA_RIGHT" ? gdi::TA_RIGHT : gdi::TA_LEFT;
        f |= v == "TA_BASELINE" ? gdi::TA_BASELINE : v == "TA_BOTTOM" ? gdi::TA_BOTTOM : gdi::TA_TOP;
        gdi::SetTextAlign(target_dc_, f);
        break;
    }
    case 0x0F: { // CreateFont(family, charset, height, angle, bold, italic, underline, strikeout, varUnicode)
        gdi::Font f;
        Text(a[0], &f.family);
        f.height = Num(a[2]);
        std::string bold;
        if (a[4].Type() == platform::VarType::String && Text(a[4], &bold)) {
            for (const auto& [name, w] : kWeights)
                if (bold == name) f.weight = w;
        } else {
            f.weight = Flag(a[4]) ? 700 : 400;
        }
        f.italic = Flag(a[5]), f.underline = Flag(a[6]), f.strikeout = Flag(a[7]);
        f.quality = font_quality_;
        font_ = f;
        SelectTools();
        break;
    }
    case 0x11: // TextOut(x, y, text, varUnicode)
        font_.quality = font_quality_;
        gdi::SelectFont(target_dc_, font_);
        gdi::TextOut(target_dc_, Num(a[0]), Num(a[1]), TextArg(a[2], arg(a, 3)));
        break;
    case 0x36: { // GetTextDimensions(varText, varWidth, varHeight, varUnicode)
        last_x_ = last_y_ = 0;
        int w = 0, h = 0;
        font_.quality = font_quality_;
        gdi::SelectFont(target_dc_, font_);
        if (!gdi::GetTextExtentPoint(target_dc_, TextArg(a[0], arg(a, 3)), &w, &h)) break;
        a[1] = Variant(std::int32_t(w)), a[2] = Variant(std::int32_t(h));
        last_x_ = w, last_y_ = h;
        break;
    }
    }
}

} // namespace glimmerax
