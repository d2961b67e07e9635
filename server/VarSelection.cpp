// VarSelection: the lists and cursors of a login's query result.
#include "server/VarSelection.h"

void VarSelection::Clear() {
    std::vector<VarTable::Index>().swap(vars);
    std::vector<ElemRecord>().swap(elems);
    varCursor = 0;
    elemCursor = 0;
    owner = nullptr;
    ownerGeneration = 0;
}

void VarSelection::Begin(const KorvaneProject* project, uint64_t generation) {
    vars.clear();
    elems.clear();
    varCursor = 0;
    elemCursor = 0;
    owner = project;
    ownerGeneration = generation;
}
