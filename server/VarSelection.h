// VarSelection: one login's current query result, in two lists with a read
// cursor each: the variable list (records of the project's VarTable, by
// record number) and the element list (owned ElemRecord copies).
//
// A selection remembers which catalogue it was built from: the project
// object and the catalogue generation the project had then. The project
// starts a new generation whenever a read of its var file starts (and so
// whenever the records and type ids the selection refers to are replaced).
// A selection of another project or of an earlier generation is stale: the
// project empties it before any use, so no login ever reaches a record that
// no longer exists, nor a mixture of an old selection and a new catalogue.
#pragma once

#include <cstdint>
#include <vector>

#include "server/VarRecord.h"
#include "server/VarTable.h"

class KorvaneProject;

class VarSelection {
public:
    /// Empty, built from no catalogue.
    VarSelection() = default;

    /// Empties both lists and forgets the catalogue; cursors at the start.
    void Clear();
    /// Number of entries in the variable list plus those in the element
    /// list (cursors not looked at).
    size_t Count() const { return vars.size() + elems.size(); }
    /// Entries left to read after the cursors.
    size_t Remaining() const { return (vars.size() - varCursor) + (elems.size() - elemCursor); }

private:
    friend class KorvaneProject;

    /// Empties both lists and ties the selection to `project`'s catalogue
    /// generation `generation`.
    void Begin(const KorvaneProject* project, uint64_t generation);
    /// True when the selection was built from this project's generation.
    bool IsCurrent(const KorvaneProject* project, uint64_t generation) const {
        return owner == project && ownerGeneration == generation;
    }

    std::vector<VarTable::Index> vars;
    size_t varCursor = 0;
    std::vector<ElemRecord> elems;
    size_t elemCursor = 0;
    const KorvaneProject* owner = nullptr;
    uint64_t ownerGeneration = 0;
};
