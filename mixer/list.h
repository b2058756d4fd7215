// list.h -- circular doubly linked lists with a sentinel.
//
// Every record kept in such a list (Voice in mixer/voice.h, Song in
// player/song.h) begins with `next` and `prev`; the sentinel is a record of
// the same type of which only those two fields are used. An empty list, and
// an unlinked node, point to themselves.
#pragma once

// node.next = sentinel; node.prev = sentinel.prev; sentinel.prev = node;
// node.prev.next = node.
template <typename Node>
inline void list_insert_tail(Node* node, Node* sentinel)
{
    node->next = sentinel;
    node->prev = sentinel->prev;
    sentinel->prev = node;
    node->prev->next = node;
}

// Takes the node out and links it to itself. A node linked only to itself
// is left as it is.
template <typename Node>
inline void list_unlink(Node* node)
{
    node->prev->next = node->next;
    node->next->prev = node->prev;
    node->next = node;
    node->prev = node;
}
