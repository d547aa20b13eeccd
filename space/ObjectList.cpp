#include "space/ObjectList.h"

ObjectList::~ObjectList() {
    ObjectNode* node = head;
    while (node) {
        ObjectNode* next = node->next;
        delete node;
        node = next;
    }
}

ObjectNode* ObjectList::nodeAt(int index) const {
    if (index < 0) return nullptr;
    ObjectNode* node = head;
    int i = 0;
    // A singly linked list only walks forward: from the cursor when the
    // index lies at or after it, else from the head.
    if (cursor && cursorIndex <= index) {
        node = cursor;
        i = cursorIndex;
    }
    for (; node && i < index; ++i) node = node->next;
    if (node) {
        cursor = node;
        cursorIndex = index;
    }
    return node;
}

void ObjectList::append(const SpaceObject& v) {
    auto* node = new ObjectNode{v, nullptr};
    if (!head) {
        head = node;
    } else {
        tail->next = node;
    }
    tail = node;
    ++count;
}

void ObjectList::prepend(const SpaceObject& v) {
    auto* node = new ObjectNode{v, head};
    if (!head) tail = node;
    head = node;
    ++count;
    // Every element moved up one index, the cursor's too.
    if (cursor) ++cursorIndex;
}

void ObjectList::getAt(int index, SpaceObject& out) const {
    if (const ObjectNode* node = nodeAt(index)) out = node->value;
}

const SpaceObject* ObjectList::at(int index) const {
    const ObjectNode* node = nodeAt(index);
    return node ? &node->value : nullptr;
}

void ObjectList::putAt(int index, const SpaceObject& v) {
    if (ObjectNode* node = nodeAt(index)) node->value = v;
}

bool ObjectList::removeAt(int index) {
    if (!head || index < 0) return false;
    if (index == 0) {
        ObjectNode* old = head;
        head = old->next;
        if (!head) tail = nullptr;
        delete old;
        --count;
        forgetCursor();
        return true;
    }
    // Leaves the cursor on the predecessor, which keeps its index.
    ObjectNode* before = nodeAt(index - 1);
    if (!before || !before->next) return false;
    ObjectNode* old = before->next;
    before->next = old->next;
    if (old == tail) tail = before;
    delete old;
    --count;
    return true;
}

bool ObjectList::removeLast() {
    if (!head) return false;
    if (cursor == tail) forgetCursor();
    if (head == tail) {
        delete head;
        head = tail = nullptr;
    } else {
        ObjectNode* before = head;
        while (before->next != tail) before = before->next;
        delete tail;
        tail = before;
        tail->next = nullptr;
    }
    --count;
    return true;
}

void ObjectList::popFront(SpaceObject& out) {
    if (!head) return;
    out = head->value;
    removeAt(0);
}

bool ObjectList::clear() {
    if (count <= 0) return false;
    ObjectNode* node = head;
    while (node) {
        ObjectNode* next = node->next;
        delete node;
        node = next;
    }
    head = tail = nullptr;
    count = 0;
    forgetCursor();
    return true;
}
