// A singly linked list of SpaceObject values addressed by index. Callers
// copy an element out, work on the copy and put it back or remove it.
//
// The game walks its lists by index from 0 upward, often reading and writing
// the same index in turn. The list remembers the last node it reached and its
// index, so such a walk costs one step per element instead of a walk from the
// head for every access; every structural change keeps that cursor right or
// drops it. Nothing observable depends on it.
#pragma once

#include "space/SpaceObject.h"

struct ObjectNode {
    SpaceObject value;
    ObjectNode* next = nullptr;
};

class ObjectList {
public:
    ObjectList() = default;
    ~ObjectList();
    ObjectList(const ObjectList&) = delete;
    ObjectList& operator=(const ObjectList&) = delete;

    void append(const SpaceObject& v);
    void prepend(const SpaceObject& v);
    // Leaves out untouched when no element has that index.
    void getAt(int index, SpaceObject& out) const;
    void putAt(int index, const SpaceObject& v);
    // The element itself, or nullptr: lets callers copy-construct a working
    // copy, which (unlike assigning into a fresh object) draws no random numbers.
    const SpaceObject* at(int index) const;
    bool removeAt(int index);
    bool removeLast();
    // Only while count > 0.
    void popFront(SpaceObject& out);
    bool clear();

    int count = 0;

    const ObjectNode* first() const { return head; }
    const ObjectNode* last() const { return tail; }

private:
    ObjectNode* nodeAt(int index) const;
    void forgetCursor() const {
        cursor = nullptr;
        cursorIndex = 0;
    }

    ObjectNode* head = nullptr;
    ObjectNode* tail = nullptr;
    // The node last reached by index, and that index; none when unknown.
    mutable ObjectNode* cursor = nullptr;
    mutable int cursorIndex = 0;
};
