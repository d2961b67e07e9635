// TypeRegistry: id and name bookkeeping of a project's types.
#include "server/TypeRegistry.h"

#include <climits>

void TypeRegistry::Clear() {
    byId.clear();
    lowestIdByName.clear();
    nextId = 1;
}

bool TypeRegistry::Register(const std::string& name, int32_t& id) {
    if (id < 0) {
        if (!byId.emplace(id, name).second)
            return false;
        auto [it, added] = lowestIdByName.emplace(name, id);
        if (!added && id < it->second)
            it->second = id;
        return true;
    }
    if (lowestIdByName.find(std::string_view(name)) != lowestIdByName.end())
        return false;
    if (nextId == INT32_MAX)
        return false; // never hand out an id twice, not even after 2^31 types
    byId.emplace(nextId, name);
    lowestIdByName.emplace(name, nextId);
    id = nextId++;
    return true;
}

bool TypeRegistry::NameOf(int32_t id, std::string& name) const {
    if (id >= nextId)
        return false;
    auto it = byId.find(id);
    if (it == byId.end())
        return false;
    name = it->second;
    return true;
}

bool TypeRegistry::IdOf(std::string_view name, int32_t& id) const {
    auto it = lowestIdByName.find(name);
    if (it == lowestIdByName.end())
        return false;
    id = it->second;
    return true;
}
