// TypeRegistry: a project's map from type ids to type names. Elementary
// types keep the negative ids the compiler gives them; derived types get
// the positive ids 1, 2, 3, ... in the order in which they are first
// registered.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>

class TypeRegistry {
public:
    /// Empty; the next derived type gets id 1.
    TypeRegistry() = default;

    /// Removes every entry; the next derived type gets id 1.
    void Clear();
    /// A negative `id`: adds (id, name) unless that id is present; true only
    /// when added. Otherwise (`id` 0 or positive, its value ignored): false
    /// with `id` unchanged when `name` is present (exact comparison, under
    /// any id); else adds (next id, name), sets `id` to it, advances the
    /// next id and returns true. False as well when the positive ids are
    /// used up (the next id would pass INT32_MAX).
    bool Register(const std::string& name, int32_t& id);
    /// The name of `id`: false when `id` is not below the next id (without
    /// searching) or not present.
    bool NameOf(int32_t id, std::string& name) const;
    /// The lowest id registered under exactly `name` (byte comparison, case
    /// sensitive); false when none.
    bool IdOf(std::string_view name, int32_t& id) const;
    /// The id that the next derived type receives.
    int32_t NextId() const { return nextId; }
    /// Number of entries.
    size_t Size() const { return byId.size(); }

private:
    struct NameHash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    std::map<int32_t, std::string> byId;
    // The lowest id per name: IdOf is asked once per var-file line.
    std::unordered_map<std::string, int32_t, NameHash, std::equal_to<>> lowestIdByName;
    int32_t nextId = 1;
};
