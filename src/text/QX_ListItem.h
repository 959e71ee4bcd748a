#pragma once
// Node of QX_List: a value pointer and the two links. The item never owns its value; whoever put
// the value in the list deletes it (the hash map deletes its entries itself).

class QX_ListItem {
public:
    explicit QX_ListItem(void* value = nullptr) : value_(value) {}
    virtual ~QX_ListItem() = default;
    QX_ListItem(const QX_ListItem&) = delete;
    QX_ListItem& operator=(const QX_ListItem&) = delete;

    // True when both items hold the same value pointer.
    virtual bool isSameValue(const QX_ListItem& other) const { return value_ == other.value_; }

    void* getValue() const { return value_; }
    void setValue(void* value) { value_ = value; }
    QX_ListItem* getPrev() const { return prev_; }
    QX_ListItem* getNext() const { return next_; }
    void setPrev(QX_ListItem* item) { prev_ = item; }
    void setNext(QX_ListItem* item) { next_ = item; }

private:
    void* value_;
    QX_ListItem* prev_ = nullptr;
    QX_ListItem* next_ = nullptr;
};
