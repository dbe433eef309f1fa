// A keyed collection with the Basic runtime's rules: items in insertion
// order, 1-based indexes, optional text keys compared without regard to case.
//
//   Add of a key already present     -> VbError 457
//   Item/Remove of an absent key     -> VbError 5
//   Item/Remove of a bad index       -> VbError 9
#pragma once

#include "platform/automation/vb_error.h"
#include "platform/text/vb.h"

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace platform {

// Keys compare as VB compares them: letters fold to lower case (ASCII and
// the Latin-1 letters of UTF-8 text).
inline std::string collection_key(std::string_view key) { return vb::LCase(key); }

template <class T>
class Collection {
public:
    long Count() const { return long(items_.size()); }

    // Adds at the end, or before the 1-based index `before` (0 = at the end).
    void Add(T item, std::optional<std::string> key = std::nullopt, long before = 0)
    {
        std::string folded;
        if (key) {
            folded = collection_key(*key);
            if (index_.count(folded))
                throw VbError(457, "Collection", "This key is already associated with an element of this collection");
        }
        if (before != 0 && (before < 1 || before > Count()))
            throw VbError(5, "Collection", "Invalid procedure call or argument");
        size_t at = before == 0 ? items_.size() : size_t(before - 1);
        items_.insert(items_.begin() + std::ptrdiff_t(at), Entry{std::move(item), key ? std::move(folded) : std::string(), bool(key)});
        reindex(at);
    }

    T& Item(long index) { return items_[position(index)].item; }
    const T& Item(long index) const { return items_[position(index)].item; }
    T& Item(std::string_view key) { return items_[position(key)].item; }
    const T& Item(std::string_view key) const { return items_[position(key)].item; }

    void Remove(long index)
    {
        size_t p = position(index);
        erase(p);
    }
    void Remove(std::string_view key) { erase(position(key)); }

    bool Exists(std::string_view key) const { return index_.count(collection_key(key)) != 0; }
    // The key an item was added under, as keys compare (folded); "" for none.
    const std::string& KeyOf(long index) const { return items_[position(index)].key; }
    // nullptr instead of an error.
    const T* Find(std::string_view key) const
    {
        auto it = index_.find(collection_key(key));
        return it == index_.end() ? nullptr : &items_[it->second].item;
    }

    void Clear()
    {
        items_.clear();
        index_.clear();
    }

    // Iteration over the items in order.
    struct Entry {
        T item;
        std::string key; // folded
        bool keyed;
    };
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    size_t position(long index) const
    {
        if (index < 1 || index > Count())
            throw VbError(9, "Collection", "Subscript out of range");
        return size_t(index - 1);
    }
    size_t position(std::string_view key) const
    {
        auto it = index_.find(collection_key(key));
        if (it == index_.end())
            throw VbError(5, "Collection", "Invalid procedure call or argument");
        return it->second;
    }
    void erase(size_t p)
    {
        if (items_[p].keyed)
            index_.erase(items_[p].key);
        items_.erase(items_.begin() + std::ptrdiff_t(p));
        reindex(p);
    }
    void reindex(size_t from)
    {
        for (size_t i = from; i < items_.size(); ++i)
            if (items_[i].keyed)
                index_[items_[i].key] = i;
    }

    std::vector<Entry> items_;
    std::unordered_map<std::string, size_t> index_;
};

// Whether the collection holds the key (a failed lookup reads as False).
template <class T>
bool itemExists(const Collection<T>& c, std::string_view key)
{
    return c.Exists(key);
}

} // namespace platform
