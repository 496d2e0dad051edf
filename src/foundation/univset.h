// TUnivSet<T>: the program's sorted indexed list.
//
// A singly linked list of nodes kept in ascending index order and addressed by
// index from 1. The list owns its nodes and each node owns its element; elements
// are copied in, never shared. `Add` numbers 1..count without gaps, `Put` keeps
// the caller's keys (and for an `int` list adds onto an existing entry),
// `Insert` and `RemoveNode` renumber the nodes after the place they change.
//
// Iterate with
//     for (auto* n = list.Head(); n; n = n->next) use(n->index, n->data);
#pragma once

#include <string>
#include <type_traits>

#include "foundation/errors.h"

template <class T>
struct TUSNode {
    int index;
    T data;
    TUSNode* next;

    TUSNode(int i, const T& d, TUSNode* n = nullptr) : index(i), data(d), next(n) {}
};

template <class T>
class TUnivSet {
public:
    using Node = TUSNode<T>;

    TUnivSet() = default;

    TUnivSet(const TUnivSet& source)
    {
        if (source.count != 0)
            for (const Node* n = source.head; n; n = n->next) Put(n->index, n->data);
    }

    TUnivSet& operator=(const TUnivSet& source)
    {
        if (this == &source) return *this;  // emptying first would lose the contents
        Empty();
        for (const Node* n = source.head; n; n = n->next) Put(n->index, n->data);
        return *this;
    }

    ~TUnivSet() { Empty(); }

    int Count() const { return count; }
    Node* Head() { return head; }
    const Node* Head() const { return head; }
    Node* Tail() { return tail; }
    const Node* Tail() const { return tail; }

    // Appends a copy; its index is 1 for an empty list, else the tail's index + 1.
    void Add(const T& element)
    {
        const int index = (count == 0 || !tail) ? 1 : tail->index + 1;
        Node* node = new Node(index, element);
        if (count == 0 || !tail) {
            head = tail = node;
        } else {
            tail->next = node;
            tail = node;
        }
        ++count;
    }

    // Keyed insert or update; never renumbers.
    void Put(int index, const T& element)
    {
        if (count == 0 || !head) {
            head = tail = new Node(index, element);
            count = 1;
            return;
        }
        if (index < head->index) {
            head = new Node(index, element, head);
            ++count;
            return;
        }
        if (index == head->index) {
            TakeValue(head->data, element);
            return;
        }
        if (index > tail->index) {
            Node* node = new Node(index, element);
            tail->next = node;
            tail = node;
            ++count;
            return;
        }
        if (index == tail->index) {
            TakeValue(tail->data, element);
            return;
        }
        Node* previous = head;
        for (Node* current = head->next; current; previous = current, current = current->next) {
            if (current->index == index) {
                TakeValue(current->data, element);
                return;
            }
            if (previous->index < index && index < current->index) {
                previous->next = new Node(index, element, current);
                ++count;
                return;
            }
        }
        ShowWarning("Error in the source code");
    }

    // Places the element at `index`, moving the element there and all later ones
    // up by one. An index missing inside the range is filled by Put.
    void Insert(int index, const T& element)
    {
        Node* found = IndexAddress(index);
        if (!found) {
            Put(index, element);
            return;
        }
        Node* copy = new Node(found->index, found->data, found->next);
        try {
            found->data = element;
        } catch (...) {
            delete copy;
            throw;
        }
        found->next = copy;
        if (tail == found) tail = copy;
        ++count;
        for (Node* n = copy; n; n = n->next) ++n->index;
    }

    void RemoveNode(int index)
    {
        Node* predecessor = nullptr;
        Node* node = FindNode(index, predecessor);
        if (!node) ThrowErrorCode(-4, "template TUnivSet::RemoveNode");
        for (Node* n = node->next; n; n = n->next) --n->index;
        if (predecessor)
            predecessor->next = node->next;
        else
            head = node->next;
        if (tail == node) tail = predecessor;
        delete node;
        --count;
    }

    // The node of `index` or null; `predecessor` is the node before it, or on a
    // null result the last node with a smaller index (null if none).
    Node* FindNode(int index, Node*& predecessor) const
    {
        predecessor = nullptr;
        for (Node* n = head; n; n = n->next) {
            if (n->index == index) return n;
            if (n->index > index) return nullptr;
            predecessor = n;
        }
        return nullptr;
    }

    // The node of `index`; null for an index missing inside the range; raises
    // for an empty list or an index above the last.
    Node* IndexAddress(int index) const
    {
        if (!head) ThrowError("IndexAddress(int): Node doesn't exist!");
        if (tail && tail->index == index) return tail;
        for (Node* n = head; n; n = n->next) {
            if (n->index == index) return n;
            if (n->index > index) return nullptr;
        }
        ThrowError("IndexAddress(int): Node doesn't exist!");
    }

    T& operator[](int index)
    {
        Node* node = IndexAddress(index);
        if (!node) ThrowErrorCode(-4, "template TUnivSet::operator[]");
        return node->data;
    }

    const T& operator[](int index) const
    {
        Node* node = IndexAddress(index);
        if (!node) ThrowErrorCode(-4, "template TUnivSet::operator[]");
        return node->data;
    }

    T Get(int index) const
    {
        Node* node = IndexAddress(index);
        if (!node) ThrowErrorCode(-4, "template TUnivSet::Get");
        return node->data;
    }

    // Deletes every node.
    void Empty()
    {
        while (head) {
            if (count < 1) {
                ShowWarning("template TUnivSet/Empty: incorrect data structure");
                return;
            }
            Node* node = head;
            head = node->next;
            delete node;
            --count;
        }
        tail = nullptr;
    }

private:
    // Stores a value into an existing entry: an `int` list accumulates.
    static void TakeValue(T& target, const T& value)
    {
        if constexpr (std::is_same_v<T, int>)
            target += value;
        else
            target = value;
    }

    Node* head = nullptr;
    Node* tail = nullptr;
    int count = 0;
};

using TUnivSetAS = TUnivSet<std::string>;
