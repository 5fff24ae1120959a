// The data module's collections.
//
// VArray<T> is a growable array of fixed-size elements, optionally kept
// sorted through its comparison; VObjArray<T> owns the objects it holds and
// destroys them when their entries go. Sorted arrays insert at the binary
// search position (an equal element goes before the one found) and find by
// binary search. Elements live in a std::vector: a failed allocation leaves
// the array as it was and is reported by the result (-1 or 0), never thrown.
//
// Comparisons return the sign of the order: negative when a sorts before b.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "driver/Sources/drm_object.h"

// Default element comparison: for 4-byte elements the sign of the wrapped
// difference b - a; otherwise 32-bit words from the start, then the remaining
// bytes unsigned, each compared as b - a. So a "sorted" array of plain numbers
// with the default comparison runs from the largest to the smallest.
int DrmCompareBytes(const void *a, const void *b, size_t size);
// Signed and unsigned 32-bit comparisons for ids: sign of a - b. Inline:
// every entry point finds its session and cursor by id with them.
inline int DrmCompareU32(uint32_t a, uint32_t b) { return a > b ? 1 : (a < b ? -1 : 0); }
inline int DrmCompareI32(int32_t a, int32_t b) { return a > b ? 1 : (a < b ? -1 : 0); }

// Throws the "bad value for array indexing" VError (code -1).
[[noreturn]] void DrmThrowBadArrayIndex();

template <class T>
class VArray : public VObject {
public:
    using Compare = int (*)(const T &, const T &);

    explicit VArray(int16_t growStep = 1, bool sorted = false, Compare compare = nullptr)
        : growStep_(growStep > 0 ? growStep : 1), sorted_(sorted),
          compare_(compare ? compare : &DefaultCompare)
    {}

    static int DefaultCompare(const T &a, const T &b) { return DrmCompareBytes(&a, &b, sizeof(T)); }

    int32_t oCount() const { return static_cast<int32_t>(items_.size()); }
    int32_t oCapacity() const { return static_cast<int32_t>(items_.capacity()); }
    bool oIsSorted() const { return sorted_; }

    // Sorted: inserted at its place; else appended. Index, or -1.
    int32_t oAdd(const T &value)
    {
        if (!sorted_)
            return oAppend(value);
        bool found = false;
        int32_t at = oSearch(value, &found);
        return oInsert(value, at) ? at : -1;
    }

    int32_t oAppend(const T &value)
    {
        if (!oEnsureRoom())
            return -1;
        items_.push_back(value);
        return oCount() - 1;
    }

    // 1 when inserted (an index at or beyond the count appends), 0 when the
    // array cannot grow. A negative index inserts at 0.
    int32_t oInsert(const T &value, int32_t index)
    {
        if (index >= oCount())
            return oAppend(value) >= 0 ? 1 : 0;
        if (!oEnsureRoom())
            return 0;
        if (index < 0)
            index = 0;
        items_.insert(items_.begin() + index, value);
        return 1;
    }

    // Adds n value-initialised (zero) elements; the
    // old count, or -1 when the array cannot grow.
    int32_t oAppendN(int32_t n, bool zeroFill = true)
    {
        int32_t old = oCount();
        if (n <= 0)
            return old;
        try {
            (void)zeroFill;
            items_.resize(items_.size() + static_cast<size_t>(n));
        } catch (const std::bad_alloc &) {
            return -1;
        }
        return old;
    }

    // Checked access: an index outside 0..count-1 throws the array VError.
    const T &oGet(int32_t i) const
    {
        if (i < 0 || i >= oCount())
            DrmThrowBadArrayIndex();
        return items_[static_cast<size_t>(i)];
    }
    T &oAt(int32_t i)
    {
        if (i < 0 || i >= oCount())
            DrmThrowBadArrayIndex();
        return items_[static_cast<size_t>(i)];
    }

    void oDelete(int32_t i)
    {
        if (i < 0 || i >= oCount())
            return;
        items_.erase(items_.begin() + i);
    }

    void oDeleteRange(int32_t first, int32_t n)
    {
        if (first < 0 || first >= oCount())
            return;
        n = std::min(n, oCount() - first);
        if (n <= 0)
            return;
        items_.erase(items_.begin() + first, items_.begin() + first + n);
    }

    void oDeleteLast()
    {
        if (!items_.empty())
            items_.pop_back();
    }

    void oClear()
    {
        items_.clear();
        items_.shrink_to_fit();
    }

    // Index of the first equal element (sorted: binary search), or -1.
    int32_t oIndexOf(const T &value) const
    {
        if (sorted_) {
            bool found = false;
            int32_t at = oSearch(value, &found);
            return found ? at : -1;
        }
        for (size_t i = 0; i < items_.size(); ++i)
            if (compare_(value, items_[i]) == 0)
                return static_cast<int32_t>(i);
        return -1;
    }

    // Binary search: the found index, or the insertion point.
    int32_t oSearch(const T &value, bool *found) const
    {
        return SearchWith(found, [&](const T &e) { return compare_(value, e); });
    }

    // Binary search with a key comparison (key against element).
    template <class KeyCompare>
    int32_t oFindSorted(KeyCompare keyCompare, bool *found) const
    {
        return SearchWith(found, keyCompare);
    }

    // Index of the element with that key, or the array VError.
    template <class KeyCompare>
    int32_t oFindKeyOrFail(KeyCompare keyCompare) const
    {
        bool found = false;
        int32_t at = SearchWith(&found, keyCompare);
        if (!found)
            DrmThrowBadArrayIndex();
        return at;
    }

    // Makes room for n more elements; with step, the grow step is added.
    bool oReserve(int32_t n, bool step)
    {
        if (oCapacity() >= oCount() + n)
            return true;
        if (step)
            n += growStep_;
        try {
            items_.reserve(static_cast<size_t>(oCount() + n));
        } catch (const std::bad_alloc &) {
            return false;
        }
        return true;
    }

    // Ascending: every element compares <= to those after it.
    void oSort(bool ascending)
    {
        if (items_.size() < 2)
            return;
        if (ascending)
            std::sort(items_.begin(), items_.end(),
                      [&](const T &a, const T &b) { return compare_(a, b) < 0; });
        else
            std::sort(items_.begin(), items_.end(),
                      [&](const T &a, const T &b) { return compare_(a, b) > 0; });
    }

    void oReverse() { std::reverse(items_.begin(), items_.end()); }

    const T *oData() const { return items_.data(); }
    typename std::vector<T>::const_iterator begin() const { return items_.begin(); }
    typename std::vector<T>::const_iterator end() const { return items_.end(); }

private:
    bool oEnsureRoom()
    {
        if (items_.size() < items_.capacity())
            return true;
        return oReserve(1, true);
    }

    template <class Cmp>
    int32_t SearchWith(bool *found, Cmp cmp) const
    {
        int32_t lo = 0, hi = oCount();
        *found = false;
        while (lo < hi) {
            int32_t mid = (lo + hi) / 2;
            int r = cmp(items_[static_cast<size_t>(mid)]);
            if (r < 0) {
                hi = mid;
            } else if (r == 0) {
                *found = true;
                return mid;
            } else {
                lo = mid + 1;
            }
        }
        return lo;
    }

    std::vector<T> items_;
    int16_t growStep_;
    bool sorted_;
    Compare compare_;
};

// An owning array of objects. Sorted arrays order by a 32-bit key read from
// each object (KeyOf), compared unsigned or signed as given. Removing an entry
// takes the object out of the array before it is destroyed, so a destructor
// may safely touch the array (or others) again.
template <class T>
class VObjArray : public VObject {
public:
    using KeyOf = uint32_t (*)(const T &);

    explicit VObjArray(int16_t growStep = 1, KeyOf keyOf = nullptr, bool signedKeys = false)
        : growStep_(growStep > 0 ? growStep : 1), keyOf_(keyOf), signed_(signedKeys)
    {}
    ~VObjArray() override { oClear(); }
    VObjArray(const VObjArray &) = delete;
    VObjArray &operator=(const VObjArray &) = delete;

    int32_t oCount() const { return static_cast<int32_t>(items_.size()); }

    // Files the object (sorted: at its key's place, before an equal key).
    // The index, or -1 with the object left with the caller.
    int32_t oAdd(std::unique_ptr<T> &object)
    {
        int32_t at = oCount();
        if (keyOf_) {
            bool found = false;
            at = oFind(keyOf_(*object), &found);
        }
        try {
            if (items_.size() == items_.capacity())
                items_.reserve(items_.size() + static_cast<size_t>(growStep_));
            items_.insert(items_.begin() + at, std::move(object));
        } catch (const std::bad_alloc &) {
            return -1;
        }
        return at;
    }

    // Binary search on the key (sorted arrays only).
    int32_t oFind(uint32_t key, bool *found) const
    {
        int32_t lo = 0, hi = oCount();
        *found = false;
        while (lo < hi) {
            int32_t mid = (lo + hi) / 2;
            uint32_t k = keyOf_(*items_[static_cast<size_t>(mid)]);
            int r = signed_ ? DrmCompareI32(static_cast<int32_t>(key), static_cast<int32_t>(k))
                            : DrmCompareU32(key, k);
            if (r < 0) {
                hi = mid;
            } else if (r == 0) {
                *found = true;
                return mid;
            } else {
                lo = mid + 1;
            }
        }
        return lo;
    }

    // The object with that key, or null.
    T *oFindObject(uint32_t key) const
    {
        bool found = false;
        int32_t at = oFind(key, &found);
        return found ? items_[static_cast<size_t>(at)].get() : nullptr;
    }

    T *oGet(int32_t i) const
    {
        if (i < 0 || i >= oCount())
            DrmThrowBadArrayIndex();
        return items_[static_cast<size_t>(i)].get();
    }

    // Index of the entry holding exactly this object, or -1.
    int32_t oIndexOf(const T *object) const
    {
        for (size_t i = 0; i < items_.size(); ++i)
            if (items_[i].get() == object)
                return static_cast<int32_t>(i);
        return -1;
    }

    // Removes the entry and destroys its object.
    void oDelete(int32_t i)
    {
        if (i < 0 || i >= oCount())
            return;
        std::unique_ptr<T> gone = std::move(items_[static_cast<size_t>(i)]);
        items_.erase(items_.begin() + i);
        gone.reset();
    }

    // Destroys every object, last first.
    void oClear()
    {
        while (!items_.empty()) {
            std::unique_ptr<T> gone = std::move(items_.back());
            items_.pop_back();
            gone.reset();
        }
    }

private:
    std::vector<std::unique_ptr<T>> items_;
    int16_t growStep_;
    KeyOf keyOf_;
    bool signed_;
};

// Length-prefixed and zero-terminated string routines, in place.
// The length byte is unsigned (0-255); the buffer must hold length + 1 bytes.
void DrmPascalToCInPlace(uint8_t *text);
void DrmCToPascalInPlace(uint8_t *text);
