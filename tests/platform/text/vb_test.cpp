#include "platform/text/vb.h"

#include "platform/text/decimal.h"

#include "platform/automation/vb_error.h"

#include <climits>
#include <clocale>
#include <cmath>
#include <gtest/gtest.h>

namespace vb = platform::vb;
using platform::VbError;

namespace {

int error_number(auto&& f)
{
    try {
        f();
    } catch (const VbError& e) {
        return e.number;
    }
    return 0;
}

TEST(Val, ReadsTheLeadingNumber)
{
    EXPECT_DOUBLE_EQ(vb::Val("  12.5abc"), 12.5);
    EXPECT_DOUBLE_EQ(vb::Val("1 2 3"), 123);
    EXPECT_DOUBLE_EQ(vb::Val("-3.5e2x"), -350);
    EXPECT_DOUBLE_EQ(vb::Val(".5"), 0.5);
    EXPECT_DOUBLE_EQ(vb::Val("1,234"), 1);
    EXPECT_DOUBLE_EQ(vb::Val("abc"), 0);
    EXPECT_DOUBLE_EQ(vb::Val(""), 0);
    EXPECT_DOUBLE_EQ(vb::Val("&H10"), 16);
    EXPECT_DOUBLE_EQ(vb::Val("&HFFFF"), -1);
    EXPECT_DOUBLE_EQ(vb::Val("&O17"), 15);
    EXPECT_DOUBLE_EQ(vb::Val("1e999"), HUGE_VAL);
}

TEST(CInt, RoundsHalfToEvenAndOverflowsOutside16Bits)
{
    EXPECT_EQ(vb::CInt(2.5), 2);
    EXPECT_EQ(vb::CInt(3.5), 4);
    EXPECT_EQ(vb::CInt(-2.5), -2);
    EXPECT_EQ(vb::CInt(32767.4), 32767);
    EXPECT_EQ(vb::CInt(-32768.5), -32768);
    EXPECT_EQ(vb::CInt(" 12 "), 12);
    EXPECT_EQ(error_number([] { vb::CInt(32767.5); }), 6);
    EXPECT_EQ(error_number([] { vb::CInt(-40000.0); }), 6);
    EXPECT_EQ(error_number([] { vb::CInt("abc"); }), 13);
    EXPECT_EQ(error_number([] { vb::CInt(""); }), 13);
    EXPECT_EQ(vb::CLng(2147483647.0), 2147483647);
    EXPECT_EQ(error_number([] { vb::CLng(2147483647.5); }), 6);
}

TEST(IsNumeric, AcceptsTheRuntimesNumberForms)
{
    for (const char* yes : {"12", " -1.5e3 ", "1,000", "&HFF", "+.5", "3.", "1D2"})
        EXPECT_TRUE(vb::IsNumeric(yes)) << yes;
    for (const char* no : {"", " ", ".", "1.2.3", "abc", "12a", "e5", "1e", ",1", "- 1"}) {
        EXPECT_FALSE(vb::IsNumeric(no)) << no;
        double kept = 7;
        EXPECT_FALSE(vb::TryCDbl(no, kept)) << no;
        EXPECT_EQ(kept, 7) << no;
    }
    double v = 0;
    EXPECT_TRUE(vb::TryCDbl(" -1.5e3 ", v));
    EXPECT_EQ(v, vb::CDbl(" -1.5e3 "));
}

TEST(Dates, ReadTheFormsTheProgramMeets)
{
    EXPECT_EQ(vb::CDate("2006/05/01 12:30:00"), (vb::Date{2006, 5, 1, 12, 30, 0}));
    EXPECT_EQ(vb::CDate("2006-05-01 12:30:00"), (vb::Date{2006, 5, 1, 12, 30, 0}));
    EXPECT_EQ(vb::CDate("14:05 01 MAY 06"), (vb::Date{2006, 5, 1, 14, 5, 0}));
    EXPECT_EQ(vb::CDate("05/01/2006"), (vb::Date{2006, 5, 1, 0, 0, 0}));
    EXPECT_EQ(vb::CDate("13/05/2006"), (vb::Date{2006, 5, 13, 0, 0, 0}));
    EXPECT_EQ(vb::CDate("May 1, 2006 2:05 PM"), (vb::Date{2006, 5, 1, 14, 5, 0}));
    EXPECT_EQ(vb::CDate("12:30:15"), (vb::Date{1899, 12, 30, 12, 30, 15}));
    EXPECT_EQ(vb::CDate("01 January 1995"), (vb::Date{1995, 1, 1, 0, 0, 0}));
    for (const char* no : {"", "2006:05:01 12:30:00", "2006/02/30", "25:00", "abc", "1", "12:61", "2006/05/01 x"})
        EXPECT_FALSE(vb::IsDate(no)) << no;
    EXPECT_TRUE(vb::IsDate("2004/02/29"));
    EXPECT_EQ(error_number([] { vb::CDate("nonsense"); }), 13);
}

TEST(Dates, SerialValues)
{
    EXPECT_DOUBLE_EQ(vb::DateSerialValue({1900, 1, 1, 0, 0, 0}), 2.0);
    EXPECT_DOUBLE_EQ(vb::DateSerialValue({1899, 12, 30, 18, 0, 0}), 0.75);
    EXPECT_EQ(vb::DateFromSerial(2.5), (vb::Date{1900, 1, 1, 12, 0, 0}));
    vb::Date d{2007, 6, 1, 18, 0, 0};
    EXPECT_EQ(vb::DateFromSerial(vb::DateSerialValue(d) - 6.0 / 24), (vb::Date{2007, 6, 1, 12, 0, 0}));
    EXPECT_EQ(vb::DateFromSerial(vb::DateSerialValue({2000, 3, 1, 0, 0, 0}) - 1), (vb::Date{2000, 2, 29, 0, 0, 0}));
}

TEST(Dates, SecondsBetweenCalendarValues)
{
    EXPECT_EQ(vb::DateDiff_Seconds({2006, 5, 4, 12, 0, 0}, {2006, 5, 4, 13, 0, 10}), 3610);
    EXPECT_EQ(vb::DateDiff_Seconds({2008, 10, 23, 14, 27, 7}, {2008, 10, 22, 16, 28, 39}), -79108);
    // Across a leap day and a daylight-saving change alike: the calendar only.
    EXPECT_EQ(vb::DateDiff_Seconds({2008, 2, 28, 0, 0, 0}, {2008, 3, 1, 0, 0, 0}), 2 * 86400);
    EXPECT_EQ(vb::DateDiff_Seconds({2008, 3, 30, 1, 0, 0}, {2008, 3, 30, 3, 0, 0}), 7200);
    // Beyond 32 bits.
    EXPECT_EQ(vb::DateDiff_Seconds({100, 1, 1, 0, 0, 0}, {9999, 12, 31, 23, 59, 59}), 312413759999LL);
}

TEST(Format, DatePatterns)
{
    vb::Date d{2006, 5, 1, 14, 5, 9};
    EXPECT_EQ(vb::Format(d, "hh:mm dd-mmm-yy"), "14:05 01-May-06");
    EXPECT_EQ(vb::Format(d, "MM/dd/yyyy"), "05/01/2006");
    EXPECT_EQ(vb::Format(d, "HH:mm:ss"), "14:05:09");
    EXPECT_EQ(vb::Format(d, "yyyy/MM/dd HH:mm:ss"), "2006/05/01 14:05:09");
    EXPECT_EQ(vb::Format(d, "yyyy/mm/dd-hh:mm:ss"), "2006/05/01-14:05:09");
    EXPECT_EQ(vb::Format(d, "yyyymmdd-hhNnss"), "20060501-140509");
    EXPECT_EQ(vb::Format(d, "yyyy-mm-dd"), "2006-05-01");
    EXPECT_EQ(vb::Format(d, "h:mm AM/PM"), "2:05 PM");
    EXPECT_EQ(vb::Format(d, "dddd d mmmm"), "Monday 1 May");
}

TEST(Format, DatesWithMonthOrDayOutOfRangeCountOn)
{
    // Month 13 is the next January, month 0 the December before, day 0
    // the month's eve; names and weekdays come from the day counted.
    EXPECT_EQ(vb::Format(vb::Date{2006, 13, 1}, "dddd d mmmm yyyy"), "Monday 1 January 2007");
    EXPECT_EQ(vb::Format(vb::Date{2006, 0, 15}, "ddd dd mmm yyyy"), "Thu 15 Dec 2005");
    EXPECT_EQ(vb::Format(vb::Date{2006, -11, 1}, "mmmm yyyy"), "January 2005");
    EXPECT_EQ(vb::Format(vb::Date{2006, 3, 0}, "mmm d"), "Feb 28");
    EXPECT_EQ(vb::Format(vb::Date{2006, 2, 30}, "mm/dd"), "03/02");
    // Far outside any calendar: some text, never a read past the names.
    for (vb::Date d : {vb::Date{2006, INT_MAX, INT_MAX}, vb::Date{INT_MIN, INT_MIN, INT_MIN}, vb::Date{INT_MAX, 1, 1}})
        EXPECT_FALSE(vb::Format(d, "dddd mmmm ddd mmm").empty());
    EXPECT_EQ(vb::DateSerialValue({1900, 13, 1}), vb::DateSerialValue({1901, 1, 1}));
}

TEST(Format, NumberPatterns)
{
    EXPECT_EQ(vb::Format(3.14159, "##0.00"), "3.14");
    EXPECT_EQ(vb::Format(0.5, "###.00000000"), ".50000000");
    EXPECT_EQ(vb::Format(45.123456789, "##.00000000"), "45.12345679");
    EXPECT_EQ(vb::Format(-12.345, "#0.0"), "-12.3");
    EXPECT_EQ(vb::Format(2.25, "#0.0"), "2.3");
    EXPECT_EQ(vb::Format(0.125, "0.00"), "0.13");
    EXPECT_EQ(vb::Format(1234567.891, "####0.0"), "1234567.9");
    EXPECT_EQ(vb::Format(9.996, "##0.00"), "10.00");
    EXPECT_EQ(vb::Format(123456, "00:00:00"), "12:34:56");
    EXPECT_EQ(vb::Format(5, "00:00:00"), "00:00:05");
    EXPECT_EQ(vb::Format(-105.5, "0.00000000"), "-105.50000000");
}

TEST(NumberText, UsesAPointWhateverTheLocale)
{
    // The program runs under the user's locale (Qt sets it); numbers in
    // texts never take its decimal comma.
    const char* had = std::setlocale(LC_ALL, nullptr);
    std::string saved = had ? had : "C";
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
        std::setlocale(LC_ALL, "");
    EXPECT_EQ(vb::CStr(0.1), "0.1");
    EXPECT_EQ(vb::CStr(-3.0), "-3");
    EXPECT_EQ(vb::CStr(1234567.125), "1234567.125");
    EXPECT_EQ(vb::CStr(1e20), "1E+20");
    EXPECT_EQ(vb::CStr(0.1 + 0.2), "0.3");
    EXPECT_EQ(vb::Format(1.5, "0.0"), "1.5");
    EXPECT_DOUBLE_EQ(vb::Val("1.5"), 1.5);
    EXPECT_DOUBLE_EQ(vb::CDbl("1.5"), 1.5);
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(vb::Str(7), " 7");
    EXPECT_EQ(vb::Str(-7), "-7");
    EXPECT_EQ(vb::Str(2.5), " 2.5");
    EXPECT_EQ(vb::CStr(true), "True");
}

TEST(TextHelpers, BehaveAsTheRuntime)
{
    EXPECT_TRUE(vb::Split("", ";").empty());
    EXPECT_EQ(vb::Split("a;;b", ";"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(vb::Split("a;b", ""), (std::vector<std::string>{"a;b"}));
    EXPECT_EQ(vb::Split("a;b;", ";").size(), 3u);
    EXPECT_EQ(vb::Trim("\t x  "), "\t x");
    EXPECT_EQ(vb::LCase("ÄBC Ü"), "äbc ü");
    EXPECT_EQ(vb::UCase("wäy"), "WÄY");
    EXPECT_TRUE(vb::SameLCase("ÄBC Ü", "äbc ü"));
    EXPECT_TRUE(vb::SameLCase("Lat", "LAT"));
    EXPECT_FALSE(vb::SameLCase("lat", "lon"));
    EXPECT_FALSE(vb::SameLCase("\xC3\x84", "a\xA4")); // Ä is not a + another byte
    EXPECT_FALSE(vb::SameLCase("×", "÷"));              // no case pair
    EXPECT_TRUE(vb::SameLCase("end\xC3", "END\xC3"));   // a lone lead byte at the end
    EXPECT_EQ(vb::Replace("CRTD 14:05 CRTD", "CRTD", ""), " 14:05 ");
    EXPECT_EQ(vb::Join({"a", "b"}, ","), "a,b");
}

} // namespace

TEST(NumberText, PlainDecimalsNeverTakeAnExponent)
{
    EXPECT_EQ(vb::CStr(-0.00005), "-5E-05");  // CStr keeps its own form
    EXPECT_EQ(platform::plain_decimal(-0.00005), "-0.00005");
    EXPECT_EQ(platform::plain_decimal(51.4778), "51.4778");
    EXPECT_EQ(platform::plain_decimal(1.23456789012345e-7), "0.000000123456789012345");
    EXPECT_EQ(platform::plain_decimal(0.0), "0");
    EXPECT_EQ(platform::plain_decimal(1e20), "100000000000000000000");
    // Texts: exponent forms rewritten, anything else left as it is.
    EXPECT_EQ(platform::plain_decimal(std::string_view("-5E-05")), "-0.00005");
    EXPECT_EQ(platform::plain_decimal(std::string_view("1.5e+3")), "1500");
    EXPECT_EQ(platform::plain_decimal(std::string_view("-0.0E+00")), "0");
    for (const char* same : {"45.1234", "", "abc", "1E", "E5", "1.5E+3x", "1e999", "--1E2"})
        EXPECT_EQ(platform::plain_decimal(std::string_view(same)), same);
}
