// The list remembers where its last indexed access ended. These tests put
// that cursor in every position relative to each structural change and check
// that indexed access still finds exactly the element a walk from the head
// would find.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "space/ObjectList.h"

namespace {

// One reusable body: constructing SpaceObjects draws random numbers, which
// does not matter here but is slow in a long run.
SpaceObject tagged(int id) {
    static const SpaceObject blank;
    SpaceObject o = blank;
    o.setX(static_cast<float>(id));
    return o;
}

int idAt(const ObjectList& list, int index) {
    const SpaceObject* o = list.at(index);
    return o ? static_cast<int>(o->getX()) : -1;
}

// Every index read from the far end first (the cursor walks back to the
// head) and then in order, plus both out-of-range neighbours.
void expectContents(const ObjectList& list, const std::vector<int>& want) {
    ASSERT_EQ(list.count, static_cast<int>(want.size()));
    for (int i = static_cast<int>(want.size()) - 1; i >= 0; --i)
        EXPECT_EQ(idAt(list, i), want[i]) << "index " << i << " read backwards";
    for (int i = 0; i < static_cast<int>(want.size()); ++i)
        EXPECT_EQ(idAt(list, i), want[i]) << "index " << i << " read forwards";
    EXPECT_EQ(list.at(-1), nullptr);
    EXPECT_EQ(list.at(static_cast<int>(want.size())), nullptr);
    if (want.empty()) {
        EXPECT_EQ(list.first(), nullptr);
        EXPECT_EQ(list.last(), nullptr);
    } else {
        EXPECT_EQ(static_cast<int>(list.last()->value.getX()), want.back());
        EXPECT_EQ(list.last()->next, nullptr);
    }
}

void fill(ObjectList& list, int n) {
    for (int i = 0; i < n; ++i) list.append(tagged(i));
}

class CursorTest : public ::testing::Test {
protected:
    ObjectList list;
    std::vector<int> model{0, 1, 2, 3, 4, 5};
    void SetUp() override { fill(list, 6); }
    void park(int index) { ASSERT_NE(list.at(index), nullptr); }
};

TEST_F(CursorTest, RemoveAtBeforeAtAndAfterTheCursor) {
    park(3);
    ASSERT_TRUE(list.removeAt(1));  // before: the cursor's element moves down
    model.erase(model.begin() + 1);
    EXPECT_EQ(idAt(list, 3), 4);
    expectContents(list, model);

    park(2);
    ASSERT_TRUE(list.removeAt(2));  // at the cursor: its node is gone
    model.erase(model.begin() + 2);
    EXPECT_EQ(idAt(list, 2), 4);
    expectContents(list, model);

    park(1);
    ASSERT_TRUE(list.removeAt(3));  // after, and the tail
    model.erase(model.begin() + 3);
    EXPECT_EQ(idAt(list, 1), 2);
    expectContents(list, model);
    list.append(tagged(9));
    model.push_back(9);
    expectContents(list, model);
}

TEST_F(CursorTest, RemoveAtZeroWithTheCursorOnTheHeadOrLater) {
    park(0);
    ASSERT_TRUE(list.removeAt(0));
    EXPECT_EQ(idAt(list, 0), 1);
    park(4);
    ASSERT_TRUE(list.removeAt(0));
    EXPECT_EQ(idAt(list, 3), 5);
    model.erase(model.begin(), model.begin() + 2);
    expectContents(list, model);
}

TEST_F(CursorTest, FailedRemovalsLeaveEverythingInPlace) {
    park(5);
    EXPECT_FALSE(list.removeAt(6));
    EXPECT_FALSE(list.removeAt(-1));
    EXPECT_EQ(idAt(list, 5), 5);
    expectContents(list, model);
}

TEST_F(CursorTest, PrependShiftsTheCursorWithItsElement) {
    park(2);
    list.prepend(tagged(10));
    EXPECT_EQ(idAt(list, 2), 1);
    EXPECT_EQ(idAt(list, 3), 2);
    list.prepend(tagged(11));
    model.insert(model.begin(), 10);
    model.insert(model.begin(), 11);
    expectContents(list, model);
}

// The tick's pattern: read i, then (inside the same turn) a prepend by a
// split rock, then a write back to what is now index i + 1.
TEST_F(CursorTest, PrependInsideAPassKeepsPutAtOnTheRightElement) {
    for (int i = 0; i < list.count; ++i) {
        SpaceObject o = *list.at(i);
        if (static_cast<int>(o.getX()) == 2) {
            list.prepend(tagged(20));
            ++i;
        }
        o.setY(1.0f);
        list.putAt(i, o);
    }
    model.insert(model.begin(), 20);
    expectContents(list, model);
    for (int i = 1; i < list.count; ++i) EXPECT_EQ(list.at(i)->getY(), 1.0f) << i;
    EXPECT_EQ(list.at(0)->getY(), 0.0f);
}

TEST_F(CursorTest, ClearForgetsTheCursor) {
    park(4);
    EXPECT_TRUE(list.clear());
    EXPECT_EQ(list.at(4), nullptr);
    EXPECT_EQ(list.at(0), nullptr);
    fill(list, 2);
    expectContents(list, {0, 1});
}

TEST_F(CursorTest, RemoveLastWithTheCursorOnTheTailOrBefore) {
    park(5);
    ASSERT_TRUE(list.removeLast());
    EXPECT_EQ(list.at(5), nullptr);
    EXPECT_EQ(idAt(list, 4), 4);
    ASSERT_TRUE(list.removeLast());  // the cursor was on the new tail
    park(1);
    ASSERT_TRUE(list.removeLast());
    model.resize(3);
    expectContents(list, model);
    while (list.removeLast()) {
    }
    expectContents(list, {});
}

TEST_F(CursorTest, PopFrontWithTheCursorOnTheHeadOrLater) {
    SpaceObject out;
    park(0);
    list.popFront(out);
    EXPECT_EQ(static_cast<int>(out.getX()), 0);
    park(3);
    list.popFront(out);
    EXPECT_EQ(static_cast<int>(out.getX()), 1);
    EXPECT_EQ(idAt(list, 3), 5);
    model.erase(model.begin(), model.begin() + 2);
    expectContents(list, model);
}

TEST_F(CursorTest, GetAndPutFollowTheCursor) {
    SpaceObject out = tagged(99);
    list.getAt(4, out);
    EXPECT_EQ(static_cast<int>(out.getX()), 4);
    list.putAt(2, tagged(42));
    list.putAt(7, tagged(43));  // past the end: nothing
    list.getAt(8, out);         // leaves out untouched
    EXPECT_EQ(static_cast<int>(out.getX()), 4);
    model[2] = 42;
    expectContents(list, model);
}

// Random operations against a vector, reading at random indices between
// them so the cursor sits anywhere when the next change comes.
TEST(ObjectListCursorModel, MatchesAVectorUnderRandomOperations) {
    std::mt19937 rng(12345);
    ObjectList list;
    std::vector<int> model;
    int nextId = 0;
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    for (int step = 0; step < 20000; ++step) {
        const int size = static_cast<int>(model.size());
        switch (pick(9)) {
        case 0:
            list.append(tagged(nextId));
            model.push_back(nextId++);
            break;
        case 1:
            list.prepend(tagged(nextId));
            model.insert(model.begin(), nextId++);
            break;
        case 2:
        case 3: {
            const int i = pick(size + 2) - 1;
            const bool removed = list.removeAt(i);
            ASSERT_EQ(removed, i >= 0 && i < size);
            if (removed) model.erase(model.begin() + i);
            break;
        }
        case 4:
            ASSERT_EQ(list.removeLast(), size > 0);
            if (size > 0) model.pop_back();
            break;
        case 5:
            if (size > 0) {
                SpaceObject out;
                list.popFront(out);
                ASSERT_EQ(static_cast<int>(out.getX()), model.front());
                model.erase(model.begin());
            }
            break;
        case 6:
            if (pick(20) == 0) {
                ASSERT_EQ(list.clear(), size > 0);
                model.clear();
            }
            break;
        default: {
            const int i = pick(size + 1);
            ASSERT_EQ(idAt(list, i), i < size ? model[i] : -1) << "step " << step;
            break;
        }
        }
        ASSERT_EQ(list.count, static_cast<int>(model.size()));
    }
    expectContents(list, model);
}

}  // namespace
