// A short ordered list of pointers in a fixed array: an add appends, a remove deletes
// the first equal pointer and closes the gap. The loop's filters and idle handlers are
// a handful at most, so no heap is needed.
#pragma once

template <typename T, int Capacity>
class PointerList {
public:
    // False when the list is full.
    bool Add(T* item) {
        if (m_count == Capacity) return false;
        m_items[m_count++] = item;
        return true;
    }
    // False when item is not in the list.
    bool Remove(T* item) {
        for (int i = 0; i < m_count; ++i) {
            if (m_items[i] != item) continue;
            for (--m_count; i < m_count; ++i) m_items[i] = m_items[i + 1];
            return true;
        }
        return false;
    }
    int Count() const { return m_count; }
    T* At(int index) const { return m_items[index]; }

private:
    T* m_items[Capacity] = {};
    int m_count = 0;
};
