#include "object_p.h"

#include <algorithm>

namespace zf::avm1 {

namespace {
constexpr size_t IndexThreshold = 12;
}

Property* PropertyMap::find(const Str& key, bool fold)
{
    StrRep* wanted = indexKey(key, fold);
    if (!m_index.empty()) {
        auto it = m_index.find(wanted);
        return it == m_index.end() ? nullptr : &m_list[it->second];
    }
    for (auto& property : m_list) {
        if (indexKey(property.name, fold) == wanted) {
            return &property;
        }
    }
    return nullptr;
}

Property& PropertyMap::add(const Str& key, Value value, bool fold, uint8_t flags)
{
    m_list.push_back(Property{key, std::move(value), nullptr, nullptr, flags, 0});
    if (!m_index.empty()) {
        m_index.emplace(indexKey(key, fold), static_cast<uint32_t>(m_list.size() - 1));
    } else if (m_list.size() > IndexThreshold) {
        rebuildIndex(fold);
    }
    return m_list.back();
}

bool PropertyMap::remove(const Str& key, bool fold)
{
    Property* property = find(key, fold);
    if (!property) {
        return false;
    }
    m_list.erase(m_list.begin() + (property - m_list.data()));
    m_index.clear();
    if (m_list.size() > IndexThreshold) {
        rebuildIndex(fold);
    }
    return true;
}

void PropertyMap::insertAt(size_t position, std::vector<Property> block, bool fold)
{
    position = std::min(position, m_list.size());
    m_list.insert(m_list.begin() + std::ptrdiff_t(position), std::make_move_iterator(block.begin()),
                  std::make_move_iterator(block.end()));
    m_index.clear();
    if (m_list.size() > IndexThreshold) {
        rebuildIndex(fold);
    }
}

void PropertyMap::rebuildIndex(bool fold)
{
    m_indexFolded = fold;
    m_index.clear();
    m_index.reserve(m_list.size() * 2);
    for (uint32_t i = 0; i < m_list.size(); ++i) {
        m_index.emplace(indexKey(m_list[i].name, fold), i);
    }
}

void Object::traceChildren(std::vector<Object*>& work) const
{
    if (m_proto) {
        work.push_back(m_proto);
    }
    for (const auto& property : m_properties.list()) {
        if (Object* o = property.value.object()) {
            work.push_back(o);
        }
        if (property.getter) {
            work.push_back(property.getter);
        }
        if (property.setter) {
            work.push_back(property.setter);
        }
    }
    if (Object* o = const_cast<Value&>(m_primitive).object()) {
        work.push_back(o);
    }
    for (Object* o : m_interfaces) {
        work.push_back(o);
    }
    for (const auto& watcher : m_watchers) {
        if (Object* o = watcher.callback.object()) {
            work.push_back(o);
        }
        if (Object* o = watcher.data.object()) {
            work.push_back(o);
        }
    }
}

void FunctionObject::traceChildren(std::vector<Object*>& work) const
{
    Object::traceChildren(work);
    if (Object* o = data.object()) {
        work.push_back(o);
    }
    for (Object* o : scopes) {
        work.push_back(o);
    }
    if (target) {
        work.push_back(target);
    }
}

void Heap::collect(std::vector<Object*> roots)
{
    std::vector<Object*>& work = roots;
    while (!work.empty()) {
        Object* object = work.back();
        work.pop_back();
        if (!object || object->marked) {
            continue;
        }
        object->marked = true;
        object->traceChildren(work);
    }
    // Unreachable objects may reference each other; detach all of them from
    // the list first so destructors never see a half-freed neighbour.
    std::vector<std::unique_ptr<Object>> dead;
    size_t kept = 0;
    for (auto& object : m_objects) {
        if (object->marked) {
            object->marked = false;
            m_objects[kept++] = std::move(object);
        } else {
            dead.push_back(std::move(object));
        }
    }
    m_objects.resize(kept);
    m_allocatedSinceCollect = 0;
    dead.clear();
}

} // namespace zf::avm1
