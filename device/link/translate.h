// The control's translator and small conversions (cSAK).
//
// xLate looks an English phrase up in the translation file beside the control
// library: "<folder>/brenvik2006_<Language>.tlt", section "Translations".
// A missing phrase is added as phrase=phrase so translators get a full list.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brenvik {

class cSAK {
public:
    // Empty or "English" (exact): no translation, no file touched.
    std::string Language;

    // The folder that holds the translation files; by default the folder of
    // the library this code is linked into (found with dladdr).
    void set_folder(std::string folder) { folder_ = std::move(folder); }
    std::string folder() const;
    // The translation file for the current Language; empty when Language
    // cannot name a file (path separators, "..", control characters).
    std::string translation_file() const;

    std::string xLate(std::string_view Phrase) const;

    // Little-endian readers; 0 when the bytes do not lie inside the array.
    static std::int16_t Byte2Int(const std::vector<std::uint8_t>& b, std::int32_t p);
    static std::int32_t Byte2Long(const std::vector<std::uint8_t>& b, std::int32_t p);
    static float Byte2Single(const std::vector<std::uint8_t>& b, std::int32_t p);
    static double Byte2Double(const std::vector<std::uint8_t>& b, std::int32_t p);
    static double uLong2Dbl(std::int32_t v) { return static_cast<double>(static_cast<std::uint32_t>(v)); }
    static std::int32_t Address_Of(std::int32_t pfn) { return pfn; }

    // Text of exactly lgth characters from bs(posn) on (Windows-1252 bytes);
    // without includenull a zero byte ends it and blanks fill the rest.
    // Bytes outside the array count as zero bytes.
    static std::string Byte2Str(const std::vector<std::uint8_t>& bs, std::int32_t posn, std::int32_t lgth,
                                bool includenull);
    // Fills bd with blanks, then with the Windows-1252 codes of src as far as bd reaches.
    static void Str2Byte(std::string_view src, std::vector<std::uint8_t>& bd);
    // Trims blanks off the caller's variable; the text before its first NUL.
    static std::string TrimNull(std::string& instring);
    static double acos(double x);
    static double asin(double x);
    // Splits at every comma into fld (one element per field, earlier ones
    // overwritten); an empty field becomes one blank.
    static void sParse(std::string_view parm, std::vector<std::string>& fld);
    // The area of the polygon through the points (closed if it is not).
    static double PolygonArea(const std::vector<double>& Pointx, const std::vector<double>& Pointy);

private:
    std::string folder_;
};

} // namespace brenvik
