// A singly linked list of SpaceObject values addressed by index. Callers
// copy an element out, work on the copy and put it back or remove it.
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

    ObjectNode* head = nullptr;
    ObjectNode* tail = nullptr;
};
