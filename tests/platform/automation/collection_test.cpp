#include "platform/automation/collection.h"

#include <gtest/gtest.h>

using platform::Collection;
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

TEST(Collection, KeysIgnoreCaseAndIndexesStartAtOne)
{
    Collection<int> c;
    c.Add(10, "Alpha");
    c.Add(20);
    c.Add(30, "Ärger");
    EXPECT_EQ(c.Count(), 3);
    EXPECT_EQ(c.Item(1), 10);
    EXPECT_EQ(c.Item(2), 20);
    EXPECT_EQ(c.Item("ALPHA"), 10);
    EXPECT_EQ(c.Item("ärger"), 30);
    EXPECT_TRUE(platform::itemExists(c, "alpha"));
    EXPECT_FALSE(platform::itemExists(c, "beta"));
    EXPECT_EQ(error_number([&] { c.Item(0); }), 9);
    EXPECT_EQ(error_number([&] { c.Item(4); }), 9);
    EXPECT_EQ(error_number([&] { c.Item("beta"); }), 5);
}

TEST(Collection, DuplicateKeyIsRefusedAndLeavesTheCollectionAlone)
{
    Collection<std::string> c;
    c.Add("first", "name");
    try {
        c.Add("second", "NAME");
        FAIL() << "duplicate key accepted";
    } catch (const VbError& e) {
        EXPECT_EQ(e.number, 457);
        EXPECT_EQ(e.description, "This key is already associated with an element of this collection");
    }
    EXPECT_EQ(c.Count(), 1);
    EXPECT_EQ(c.Item("name"), "first");
}

TEST(Collection, RemoveAndInsertBeforeKeepKeysPointingAtTheirItems)
{
    Collection<int> c;
    c.Add(1, "a");
    c.Add(2, "b");
    c.Add(3, "c");
    c.Add(0, "z", 1); // before the first
    EXPECT_EQ(c.Item(1), 0);
    EXPECT_EQ(c.Item("c"), 3);
    c.Remove("a");
    EXPECT_EQ(c.Count(), 3);
    EXPECT_EQ(c.Item(2), 2);
    EXPECT_EQ(c.Item("b"), 2);
    c.Remove(1);
    EXPECT_EQ(c.Item("c"), 3);
    EXPECT_FALSE(c.Exists("z"));
    EXPECT_EQ(error_number([&] { c.Remove("a"); }), 5);
    c.Add(4, "a"); // a removed key may come back
    EXPECT_EQ(c.Item("A"), 4);
}

} // namespace
