#include <gtest/gtest.h>

#include "ports/port_table.h"

using vellamoor::PortTable;

namespace {

struct Record {
    char tag;
};

void fill(PortTable<Record>& table, const char* tags) {
    for (const char* tag = tags; *tag != '\0'; ++tag) table.append(Record{*tag});
}

char tagAt(PortTable<Record>& table, uint32_t index) {
    Record* entry = table.entryAt(index);
    return entry == nullptr ? '-' : entry->tag;
}

TEST(PortTable, IndexRules) {
    PortTable<Record> empty;
    EXPECT_EQ('-', tagAt(empty, 0)) << "index 0 on an empty table";
    EXPECT_EQ('-', tagAt(empty, 1)) << "index 1 on an empty table";
    empty.removeAt(0);
    EXPECT_EQ(0u, empty.count());

    PortTable<Record> table;
    fill(table, "XYZ");
    struct Case {
        uint32_t index;
        char expected;
    } cases[] = {{0, 'Z'}, {1, 'X'}, {2, 'Y'}, {3, 'Z'}, {4, '-'}, {0xFFFFFFFFu, '-'}, {0x80000000u, '-'}};
    for (const Case& c : cases) EXPECT_EQ(c.expected, tagAt(table, c.index)) << "index " << c.index;
}

TEST(PortTable, RemovalShiftsLaterEntriesDown) {
    struct Case {
        const char* label;
        uint32_t removed;
        const char* left;
    } cases[] = {{"first", 1, "YZ"}, {"middle", 2, "XZ"}, {"last by index 0", 0, "XY"}, {"last by index 3", 3, "XY"},
                 {"beyond the end", 4, "XYZ"}};
    for (const Case& c : cases) {
        PortTable<Record> table;
        fill(table, "XYZ");
        table.removeAt(c.removed);
        std::string left;
        for (uint32_t i = 1; i <= table.count(); ++i) left += tagAt(table, i);
        EXPECT_EQ(c.left, left) << c.label;
        EXPECT_EQ('-', tagAt(table, static_cast<uint32_t>(std::string(c.left).size() + 1))) << c.label;
    }
    for (uint32_t index : {0u, 1u}) {
        PortTable<Record> single;
        fill(single, "X");
        single.removeAt(index);
        EXPECT_EQ(0u, single.count()) << "single entry removed by index " << index;
    }
}

TEST(PortTable, AppendAlwaysGoesToTheEnd) {
    PortTable<Record> table;
    fill(table, "XY");
    EXPECT_EQ(3u, table.append(Record{'Z'}));
    table.removeAt(1);
    EXPECT_EQ(3u, table.append(Record{'W'})) << "a freed lower index is not reused";
    EXPECT_EQ('W', tagAt(table, 3));
    EXPECT_EQ('Y', tagAt(table, 1));
}

// The records never move once stored: a call on one entry may run while
// another thread appends.
TEST(PortTable, RecordsNeverMove) {
    PortTable<Record> table;
    table.append(Record{'a'});
    Record* first = table.entryAt(1);
    for (uint32_t i = 2; i <= PortTable<Record>::kCapacity; ++i) EXPECT_EQ(i, table.append(Record{'b'}));
    EXPECT_EQ(first, table.entryAt(1)) << "appending never moves a record";
    EXPECT_EQ(0u, table.append(Record{'c'})) << "full: one beyond the 255 a handle can name";
    EXPECT_EQ(vellamoor::kMaxHandleIndex + 1, table.count());
}

}  // namespace
