// An unsorted list of named entries that owns one object per entry. Entries keep their
// insertion order; deleting or clearing frees the objects.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tessaro::wizards {

template <typename T>
class KeyedList {
public:
    std::size_t Count() const { return entries_.size(); }
    bool Empty() const { return entries_.empty(); }
    const std::string& Key(std::size_t i) const { return entries_.at(i).first; }
    T& Item(std::size_t i) { return *entries_.at(i).second; }
    const T& Item(std::size_t i) const { return *entries_.at(i).second; }

    // The first entry with exactly that key, or -1.
    long IndexOf(const std::string& key) const {
        for (std::size_t i = 0; i < entries_.size(); ++i)
            if (entries_[i].first == key) return static_cast<long>(i);
        return -1;
    }
    std::size_t Add(std::string key, T item) {
        entries_.emplace_back(std::move(key), std::make_unique<T>(std::move(item)));
        return entries_.size() - 1;
    }
    void Insert(std::size_t at, std::string key, T item) {
        entries_.emplace(entries_.begin() + static_cast<long>(at), std::move(key),
                         std::make_unique<T>(std::move(item)));
    }
    void Delete(std::size_t i) { entries_.erase(entries_.begin() + static_cast<long>(i)); }
    void Clear() {
        while (!entries_.empty()) entries_.pop_back();  // last to first
    }

private:
    std::vector<std::pair<std::string, std::unique_ptr<T>>> entries_;
};

}  // namespace tessaro::wizards
