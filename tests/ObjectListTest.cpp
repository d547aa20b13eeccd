#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <initializer_list>
#include <type_traits>
#include <vector>

#include "space/AdditiveFeedbackRandom.h"
#include "space/ObjectList.h"

// Lists are never copied: a copy would share or double-free nodes.
static_assert(!std::is_copy_constructible_v<ObjectList>);
static_assert(!std::is_copy_assignable_v<ObjectList>);

namespace {

// Elements are told apart by x.
SpaceObject body(float id) {
    SpaceObject o;
    o.setX(id);
    return o;
}

std::vector<float> ids(const ObjectList& list) {
    std::vector<float> v;
    for (int i = 0; i < list.count; ++i) {
        SpaceObject o = body(-1);
        list.getAt(i, o);
        v.push_back(o.getX());
    }
    return v;
}

// count matches the nodes reachable from the head, the tail is the last of
// them and ends the chain, and getAt agrees with the chain.
void expectConsistent(const ObjectList& list) {
    int n = 0;
    const ObjectNode* lastSeen = nullptr;
    for (const ObjectNode* node = list.first(); node; node = node->next) {
        SpaceObject o = body(-1);
        list.getAt(n, o);
        EXPECT_EQ(o.getX(), node->value.getX()) << "index " << n;
        lastSeen = node;
        ++n;
        ASSERT_LE(n, 10000) << "cycle";
    }
    EXPECT_EQ(list.count, n);
    EXPECT_EQ(list.last(), lastSeen);
    EXPECT_EQ(list.first() == nullptr, list.count == 0);
    EXPECT_EQ(list.first() == list.last(), list.count <= 1);
}

void fill(ObjectList& list, std::initializer_list<float> values) {
    for (float v : values) list.append(body(v));
}

using Ids = std::vector<float>;

}  // namespace

TEST(ObjectList, AppendAndPrependKeepOrderAndEnds) {
    ObjectList list;
    expectConsistent(list);

    list.append(body(1));
    const ObjectNode* firstNode = list.first();
    ASSERT_NE(firstNode, nullptr);
    EXPECT_EQ(list.last(), firstNode);
    list.append(body(2));
    list.append(body(3));
    EXPECT_EQ(list.first(), firstNode);  // only the tail moves
    EXPECT_EQ(ids(list), (Ids{1, 2, 3}));
    expectConsistent(list);

    const ObjectNode* tailNode = list.last();
    list.prepend(body(0));
    EXPECT_EQ(list.last(), tailNode);  // only the head moves
    list.prepend(body(-5));
    EXPECT_EQ(ids(list), (Ids{-5, 0, 1, 2, 3}));
    expectConsistent(list);

    ObjectList rocks;  // grows only at the front: index 0 is the newest
    rocks.prepend(body(1));
    EXPECT_EQ(rocks.first(), rocks.last());
    rocks.prepend(body(2));
    rocks.prepend(body(3));
    rocks.append(body(4));  // the tail is still right after prepends
    EXPECT_EQ(ids(rocks), (Ids{3, 2, 1, 4}));
    expectConsistent(rocks);

    // Stored by value: the caller's object can change afterwards.
    SpaceObject mine = body(7);
    list.append(mine);
    mine.setX(8);
    EXPECT_EQ(list.last()->value.getX(), 7.0f);
}

TEST(ObjectList, RemoveAtShiftsLaterElementsAndFixesEnds) {
    ObjectList list;
    fill(list, {0, 1, 2, 3, 4, 5});

    EXPECT_TRUE(list.removeAt(2));  // middle: later ones move down
    EXPECT_EQ(ids(list), (Ids{0, 1, 3, 4, 5}));
    expectConsistent(list);

    const ObjectNode* before = list.first()->next->next->next;  // index 3 (4)
    EXPECT_TRUE(list.removeAt(list.count - 1));                 // tail moves to its predecessor
    EXPECT_EQ(list.last(), before);
    EXPECT_EQ(ids(list), (Ids{0, 1, 3, 4}));
    list.append(body(9));  // and appending after it still links up
    EXPECT_EQ(ids(list), (Ids{0, 1, 3, 4, 9}));
    expectConsistent(list);

    EXPECT_TRUE(list.removeAt(0));  // head
    EXPECT_EQ(ids(list), (Ids{1, 3, 4, 9}));
    expectConsistent(list);

    // Out of range: false and nothing changes.
    const ObjectNode* head = list.first();
    const ObjectNode* tail = list.last();
    for (int bad : {4, 5, -1, INT_MIN, INT_MAX}) {
        EXPECT_FALSE(list.removeAt(bad)) << bad;
        EXPECT_EQ(list.first(), head);
        EXPECT_EQ(list.last(), tail);
        EXPECT_EQ(ids(list), (Ids{1, 3, 4, 9}));
    }

    // Down to two, one, none.
    EXPECT_TRUE(list.removeAt(1));
    EXPECT_TRUE(list.removeAt(1));
    EXPECT_EQ(ids(list), (Ids{1, 9}));
    EXPECT_TRUE(list.removeAt(1));
    EXPECT_EQ(list.first(), list.last());
    expectConsistent(list);
    EXPECT_TRUE(list.removeAt(0));
    EXPECT_EQ(list.first(), nullptr);
    EXPECT_EQ(list.last(), nullptr);
    EXPECT_EQ(list.count, 0);
    EXPECT_FALSE(list.removeAt(0));
    EXPECT_FALSE(list.removeAt(-1));
    list.append(body(5));  // usable again
    EXPECT_EQ(ids(list), (Ids{5}));
    expectConsistent(list);

    // The game's pass: after removing at i the next element sits at i.
    ObjectList pass;
    fill(pass, {1, 2, 3, 4, 5});
    std::vector<float> visited;
    for (int i = 0; i < pass.count; ++i) {
        SpaceObject o = body(-1);
        pass.getAt(i, o);
        visited.push_back(o.getX());
        if (o.getX() == 2.0f || o.getX() == 4.0f) pass.removeAt(i);
    }
    EXPECT_EQ(visited, (Ids{1, 2, 4}));
    EXPECT_EQ(ids(pass), (Ids{1, 3, 5}));
}

TEST(ObjectList, RemoveLastPopFrontAndClear) {
    ObjectList list;
    EXPECT_FALSE(list.removeLast());
    EXPECT_FALSE(list.clear());
    expectConsistent(list);

    fill(list, {1, 2, 3});
    EXPECT_TRUE(list.removeLast());
    EXPECT_EQ(ids(list), (Ids{1, 2}));
    expectConsistent(list);
    EXPECT_TRUE(list.removeLast());  // two to one: the first is both ends
    EXPECT_EQ(list.first(), list.last());
    EXPECT_EQ(list.first()->next, nullptr);
    EXPECT_EQ(ids(list), (Ids{1}));
    list.append(body(4));
    EXPECT_EQ(ids(list), (Ids{1, 4}));
    EXPECT_TRUE(list.removeLast());
    EXPECT_TRUE(list.removeLast());
    EXPECT_FALSE(list.removeLast());
    expectConsistent(list);

    // popFront hands out the oldest element and drops it.
    fill(list, {5, 6});
    SpaceObject out = body(-1);
    list.popFront(out);
    EXPECT_EQ(out.getX(), 5.0f);
    EXPECT_EQ(ids(list), (Ids{6}));
    expectConsistent(list);
    list.popFront(out);
    EXPECT_EQ(out.getX(), 6.0f);
    expectConsistent(list);
    EXPECT_EQ(list.first(), nullptr);
    list.popFront(out);  // empty: nothing happens, out untouched
    EXPECT_EQ(out.getX(), 6.0f);
    EXPECT_EQ(list.count, 0);
    list.prepend(body(7));
    EXPECT_EQ(ids(list), (Ids{7}));
    expectConsistent(list);

    // clear reports whether there was anything, and the list stays usable.
    fill(list, {8, 9});
    EXPECT_TRUE(list.clear());
    expectConsistent(list);
    EXPECT_EQ(list.first(), nullptr);
    EXPECT_EQ(list.last(), nullptr);
    EXPECT_FALSE(list.clear());
    list.append(body(1));
    EXPECT_EQ(ids(list), (Ids{1}));
    expectConsistent(list);
}

TEST(ObjectList, GetAndPutCopyWholeValues) {
    ObjectList list;
    SpaceObject big;
    big.setup(10, 20, 1, 2, 32, 0.5f, 2);
    big.setLife(35);
    big.updateRockPoints();
    list.append(big);
    fill(list, {2, 3});

    // getAt copies the whole object, models and on-screen points included.
    SpaceObject out = body(-1);
    list.getAt(0, out);
    EXPECT_EQ(out.getY(), 20.0f);
    EXPECT_EQ(out.getSize(), 32);
    EXPECT_EQ(out.getScale(), 2);
    EXPECT_EQ(out.getLife(), 35);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(out.rockModel[i].x, big.rockModel[i].x);
        EXPECT_EQ(out.rockPoints[i].y, big.rockPoints[i].y);
    }

    // A changed copy changes nothing until it is put back.
    out.setX(99);
    SpaceObject again = body(-1);
    list.getAt(0, again);
    EXPECT_EQ(again.getX(), 10.0f);
    list.putAt(1, out);
    EXPECT_EQ(ids(list), (Ids{10, 99, 3}));
    ASSERT_NE(list.at(1), nullptr);
    EXPECT_EQ(list.at(1)->getSize(), 32);

    // Indices that match nothing leave both the list and the caller's object alone.
    SpaceObject untouched = body(-7);
    untouched.setLife(12);
    const SpaceObject copy = untouched;
    for (int bad : {3, 4, -1, INT_MIN, INT_MAX}) {
        list.getAt(bad, untouched);
        list.putAt(bad, body(55));
        EXPECT_EQ(list.at(bad), nullptr);
    }
    EXPECT_EQ(untouched.getX(), -7.0f);
    EXPECT_EQ(untouched.getLife(), 12);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(untouched.rockModel[i].y, copy.rockModel[i].y);
    EXPECT_EQ(ids(list), (Ids{10, 99, 3}));
    ObjectList empty;
    empty.getAt(0, untouched);
    empty.putAt(0, body(1));
    EXPECT_EQ(untouched.getX(), -7.0f);
    EXPECT_EQ(empty.count, 0);
    expectConsistent(empty);

    // Copies in and out of a list draw no random numbers.
    rng::srand(11);
    const int expected = rng::rand();
    rng::srand(11);
    list.append(out);
    list.prepend(out);
    list.getAt(2, out);
    list.putAt(0, out);
    list.popFront(out);
    EXPECT_EQ(rng::rand(), expected);
}

TEST(ObjectList, DestructionFreesEveryNode) {
    // The sanitizer build reports any node left behind at exit.
    for (int n = 0; n < 5; ++n) {
        ObjectList list;
        for (int i = 0; i < n * 10; ++i) {
            if (i % 2) {
                list.append(body(float(i)));
            } else {
                list.prepend(body(float(i)));
            }
        }
        list.removeAt(n);
        list.removeLast();
    }
    auto* heap = new ObjectList;
    fill(*heap, {1, 2, 3});
    heap->clear();
    fill(*heap, {4});
    delete heap;
}
