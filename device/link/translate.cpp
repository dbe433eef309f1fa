#include "device/link/translate.h"

#include "platform/profile/profile.h"

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

} // namespace brenvik
