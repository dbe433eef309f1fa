#include "platform/automation/class_registry.h"
#include "platform/automation/enumerator.h"
#include "platform/automation/vb_error.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace platform;

TEST(Variant, MissingIsTheErrorVariantAndDiffersFromEmpty)
{
    Variant m = Variant::Missing(), e;
    EXPECT_TRUE(m.IsMissing());
    EXPECT_FALSE(e.IsMissing());
    EXPECT_EQ(m.Type(), VarType::Error);
    EXPECT_TRUE(m.IsOmitted() && e.IsOmitted());
    EXPECT_FALSE(m == e);
    EXPECT_THROW(m.ToInt32(), VbError);
}

TEST(Variant, ByteArraysKeepTheirLowerBound)
{
    Variant a(Bytes{1, 2, 3}, 5);
    Variant copy = a;
    EXPECT_EQ(copy.BytesLBound(), 5);
    EXPECT_EQ(*copy.BytesPtr(), (Bytes{1, 2, 3}));
    EXPECT_TRUE(copy == a);
    EXPECT_FALSE(Variant(Bytes{1, 2, 3}) == a);
}

// Dates count days from 1899-12-30; before it the day counts down while the
// time of day still counts up.
TEST(Variant, DatesCountDaysFrom1899)
{
    DateValue d;
    ASSERT_TRUE(ParseDate("2000-01-01 12:00:00", &d));
    EXPECT_DOUBLE_EQ(d.days, 36526.5);
    ASSERT_TRUE(ParseDate("1899-12-29 06:00:00", &d));
    EXPECT_DOUBLE_EQ(d.days, -1.25);
    EXPECT_EQ(Variant(d).ToString(), "1899-12-29 06:00:00");
    ASSERT_TRUE(ParseDate("2024-02-29 23:59:59", &d));
    EXPECT_EQ(Variant(d).Type(), VarType::Date);
    EXPECT_EQ(Variant(d).ToString(), "2024-02-29 23:59:59");
    EXPECT_EQ(std::floor(Variant(d).ToDouble()), 45351);
    for (const char* bad : {"2023-02-29 00:00:00", "2020-13-01 00:00:00", "2020-01-01", "2020-01-01 24:00:00", "2020-01-01 00:00:00x"})
        EXPECT_FALSE(ParseDate(bad, &d)) << bad;
}

TEST(ClassRegistry, OneClassMayCarryTwoProgramIdentifiers)
{
    ClassRegistry r;
    int made = 0;
    r.Register("x.thing.1", "{C}", [&] { ++made; return ObjectRef(std::make_shared<Enumerator>(std::vector<Variant>{})); });
    r.Register("x.thing", "{C}", [&] { made += 10; return ObjectRef(std::make_shared<Enumerator>(std::vector<Variant>{})); });
    EXPECT_TRUE(r.IsRegistered("X.Thing.1"));
    r.CreateObject("x.thing.1");
    r.CreateObject("x.thing");
    EXPECT_EQ(made, 11);
    r.Register("x.thing", "{C}", [&] { made += 100; return ObjectRef(std::make_shared<Enumerator>(std::vector<Variant>{})); });
    r.CreateObject("x.thing");
    EXPECT_EQ(made, 111); // registering again replaces
    r.Unregister("{C}");
    EXPECT_FALSE(r.IsRegistered("x.thing.1") || r.IsRegistered("x.thing"));
}

TEST(Enumerator, NextSkipResetAndCloneWalkACopy)
{
    Enumerator e({Variant("a"), Variant("b"), Variant("c")});
    std::vector<Variant> got;
    EXPECT_EQ(e.Next(2, got), S_OK);
    EXPECT_EQ(got[1].ToString(), "b");
    auto clone = e.Clone();
    EXPECT_EQ(e.Skip(5), S_FALSE);
    EXPECT_EQ(e.Next(1, got), S_FALSE);
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(clone->Next(3, got), S_FALSE);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].ToString(), "c");
    e.Reset();
    std::vector<Variant> args{Variant(std::int32_t(1))};
    EXPECT_EQ(CallByName(e, "Next", args).ToArray().at(0).ToString(), "a");
}

TEST(VbError, OutOfMemoryIsErrorSeven)
{
    VbError e = OutOfMemory();
    EXPECT_EQ(e.number, 7);
    EXPECT_EQ(e.description, "Out of memory");
}
