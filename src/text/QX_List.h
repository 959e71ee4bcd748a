#pragma once
// Doubly linked list of QX_ListItems, linked from the first item to the last by next and back by
// previous. The list owns its items (made with qxNew) but not the values they hold.
//
// The frozen flag is a guard against programming errors: nothing in the library sets it, and a
// modifying operation on a frozen list stops the process at once.
#include "text/QX_ListItem.h"

#include <cstdint>

class QX_List {
public:
    QX_List() = default;
    virtual ~QX_List();
    QX_List(const QX_List&) = delete;
    QX_List& operator=(const QX_List&) = delete;

    // Wraps value in a new item linked after the last one; returns the new count (unchanged when
    // no item could be allocated).
    int append(void* value);
    // Links an existing item (made with qxNew) after the last one; a null item does nothing.
    void appendItem(QX_ListItem* item);
    // Unlinks the item and deletes it (not its value).
    void removeItem(QX_ListItem* item);
    // Removes the item holding exactly this pointer, searching from the last item backwards.
    void removeValue(void* value);
    // Deletes every item (not the values).
    void removeAll();

    int getCount() const { return count_; }
    QX_ListItem* getFirst() const { return first_; }
    QX_ListItem* getLast() const { return last_; }

private:
    void checkNotFrozen() const;

    uint32_t frozen_ = 0;
    int count_ = 0;
    QX_ListItem* last_ = nullptr;
    QX_ListItem* first_ = nullptr;
};
