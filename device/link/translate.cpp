#include "device/link/translate.h"

#include "device/link/packet.h"
#include "platform/profile/profile.h"
#include "platform/text/cp1252.h"

#include <algorithm>
#include <cmath>

#include <cstring>
#include <dlfcn.h>

namespace brenvik {

namespace {

// The folder of the shared object (or program) this function lives in.
std::string own_folder()
{
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&own_folder), &info) == 0 || !info.dli_fname) return ".";
    std::string path = info.dli_fname;
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// A language name that can safely become part of a file name.
bool usable_language(const std::string& lang)
{
    if (lang.empty() || lang.find("..") != std::string::npos) return false;
    for (unsigned char c : lang)
        if (c < 0x20 || c == 0x7F || c == '/' || c == '\\') return false;
    return true;
}

template <class T>
T read_le(const std::vector<std::uint8_t>& b, std::int32_t p)
{
    if (p < 0 || static_cast<std::size_t>(p) + sizeof(T) > b.size()) return T{};
    T v;
    std::memcpy(&v, b.data() + p, sizeof(T));  // little-endian host
    return v;
}

} // namespace

std::string cSAK::folder() const { return folder_.empty() ? own_folder() : folder_; }

std::string cSAK::translation_file() const
{
    if (!usable_language(Language)) return {};
    return folder() + "/brenvik2006_" + Language + ".tlt";
}

std::string cSAK::xLate(std::string_view Phrase) const
{
    std::string phrase(Phrase);
    if (Language.empty() || Language == "English") return phrase;
    std::string file = translation_file();
    if (file.empty()) return phrase;
    std::string value = platform::GetPrivateProfileString("Translations", phrase, "", 255, file);
    if (!value.empty()) {
        // Never end inside a UTF-8 sequence after the 254-character cut.
        std::size_t n = value.size();
        std::size_t k = n;
        while (k > 0 && (static_cast<unsigned char>(value[k - 1]) & 0xC0) == 0x80) --k;
        if (k > 0) {
            unsigned char lead = static_cast<unsigned char>(value[k - 1]);
            std::size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
            if (n - (k - 1) < need) value.resize(k - 1);
        }
        if (!value.empty()) return value;
    }
    platform::WritePrivateProfileString("Translations", phrase, phrase, file);
    return phrase;
}

std::int16_t cSAK::Byte2Int(const std::vector<std::uint8_t>& b, std::int32_t p) { return read_le<std::int16_t>(b, p); }
std::int32_t cSAK::Byte2Long(const std::vector<std::uint8_t>& b, std::int32_t p) { return read_le<std::int32_t>(b, p); }
float cSAK::Byte2Single(const std::vector<std::uint8_t>& b, std::int32_t p) { return read_le<float>(b, p); }
double cSAK::Byte2Double(const std::vector<std::uint8_t>& b, std::int32_t p) { return read_le<double>(b, p); }

std::string cSAK::Byte2Str(const std::vector<std::uint8_t>& bs, std::int32_t posn, std::int32_t lgth,
                           bool includenull)
{
    if (lgth <= 0) return {};
    std::string raw(static_cast<std::size_t>(lgth), ' ');
    for (std::int32_t k = 0; k < lgth; ++k) {
        const std::int64_t at = std::int64_t(posn) + k;
        const std::uint8_t b = at >= 0 && at < std::int64_t(bs.size()) ? bs[static_cast<std::size_t>(at)] : 0;
        if (!includenull && b == 0) break;
        raw[static_cast<std::size_t>(k)] = static_cast<char>(b);
    }
    return platform::cp1252_to_utf8(raw);
}

void cSAK::Str2Byte(std::string_view src, std::vector<std::uint8_t>& bd)
{
    std::fill(bd.begin(), bd.end(), std::uint8_t(' '));
    const std::string bytes = platform::utf8_to_cp1252(src);
    for (std::size_t i = 0; i < bytes.size() && i < bd.size(); ++i) bd[i] = static_cast<std::uint8_t>(bytes[i]);
}

std::string cSAK::TrimNull(std::string& instring) { return brenvik::TrimNull(instring); }

double cSAK::acos(double x) { return std::atan(-x / std::sqrt(1 - x * x)) + 2 * std::atan(1.0); }

double cSAK::asin(double x) { return std::atan(x / std::sqrt(1 - x * x)); }

void cSAK::sParse(std::string_view parm, std::vector<std::string>& fld)
{
    std::size_t k = 0;
    for (;;) {
        const std::size_t comma = parm.find(',');
        std::string field(parm.substr(0, comma));
        if (field.empty()) field = " ";
        if (k >= fld.size()) fld.resize(k + 1);
        fld[k++] = std::move(field);
        if (comma == std::string_view::npos) break;
        parm.remove_prefix(comma + 1);
    }
    fld.resize(k);
}

double cSAK::PolygonArea(const std::vector<double>& Pointx, const std::vector<double>& Pointy)
{
    const std::size_t count = std::min(Pointx.size(), Pointy.size());
    if (count < 2) return 0;
    const std::size_t n = count - 1;
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i) sum += Pointx[i] * Pointy[i + 1] - Pointx[i + 1] * Pointy[i];
    if (Pointx[n] != Pointx[0] || Pointy[n] != Pointy[0]) sum += Pointx[n] * Pointy[0] - Pointx[0] * Pointy[n];
    return std::fabs(sum / 2);
}

} // namespace brenvik
