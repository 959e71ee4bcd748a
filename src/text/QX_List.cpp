#include "text/QX_List.h"

#include "platform/Memory.h"
#include "platform/Platform.h"

QX_List::~QX_List() {
    removeAll();
}

void QX_List::checkNotFrozen() const {
    if (frozen_) platform::fatalFault("QX_List modified while frozen");
}

int QX_List::append(void* value) {
    checkNotFrozen();
    QX_ListItem* item = qxNew<QX_ListItem>(value);
    if (item) appendItem(item);
    return count_;
}

void QX_List::appendItem(QX_ListItem* item) {
    checkNotFrozen();
    if (!item) return;
    item->setNext(nullptr);
    item->setPrev(last_);
    if (last_)
        last_->setNext(item);
    else
        first_ = item;
    last_ = item;
    ++count_;
}

void QX_List::removeItem(QX_ListItem* item) {
    checkNotFrozen();
    if (!item) return;
    QX_ListItem* prev = item->getPrev();
    QX_ListItem* next = item->getNext();
    if (prev)
        prev->setNext(next);
    else
        first_ = next;
    if (next)
        next->setPrev(prev);
    else
        last_ = prev;
    --count_;
    qxDelete(item);
}

void QX_List::removeValue(void* value) {
    checkNotFrozen();
    for (QX_ListItem* item = last_; item; item = item->getPrev()) {
        if (item->getValue() == value) {
            removeItem(item);
            return;
        }
    }
}

void QX_List::removeAll() {
    checkNotFrozen();
    QX_ListItem* item = first_;
    while (item) {
        QX_ListItem* next = item->getNext();
        qxDelete(item);
        item = next;
    }
    first_ = last_ = nullptr;
    count_ = 0;
}
