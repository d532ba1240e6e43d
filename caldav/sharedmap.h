#pragma once

#include <map>
#include <memory>

// A map whose copies share one std::map until one of them changes (copy on write). The sync's
// state holds a link for each of thousands of to-dos and is copied whole several times a sync
// (from the store's memory, for the planner's thread), while a sync changes few links: a copy
// costs nothing, and the first change copies once. Read from several threads, changed by one.
template <typename Key, typename Value>
class SharedMap
{
public:
    using Map = std::map<Key, Value>;
    using const_iterator = typename Map::const_iterator;

    SharedMap() : m_map(std::make_shared<Map>()) {}
    // Copies share; a move is a copy too, so that nothing is ever left without a map.
    SharedMap(const SharedMap &) = default;
    SharedMap &operator=(const SharedMap &) = default;

    const_iterator begin() const { return m_map->cbegin(); }
    const_iterator end() const { return m_map->cend(); }
    const_iterator find(const Key &key) const { return m_map->find(key); }
    const_iterator lower_bound(const Key &key) const { return m_map->lower_bound(key); }
    size_t count(const Key &key) const { return m_map->count(key); }
    const Value &at(const Key &key) const { return m_map->at(key); }
    size_t size() const { return m_map->size(); }
    bool empty() const { return m_map->empty(); }

    Value &operator[](const Key &key) { return own()[key]; }
    template <typename... Args>
    auto emplace(Args &&...args) { return own().emplace(std::forward<Args>(args)...); }
    size_t erase(const Key &key) { return m_map->count(key) ? own().erase(key) : 0; }
    void clear() { m_map = std::make_shared<Map>(); }

    friend bool operator==(const SharedMap &a, const SharedMap &b) { return a.m_map == b.m_map || *a.m_map == *b.m_map; }

private:
    Map &own()
    {
        if (m_map.use_count() > 1)
            m_map = std::make_shared<Map>(*m_map);
        return *m_map;
    }

    std::shared_ptr<Map> m_map;
};
