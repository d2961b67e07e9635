// The type compiler of the server tests: a TypeCompiler whose instance is a
// real symbol-table set of the compiler library (with its elementary-type
// table built from the base library's keyword list), into which a test
// declares its derived types through the records' own public interface
// (SymTab::insert, SymAttr::DefStructComp/DefStructType/DefArrayType). It
// does not parse the type file: it records the lines that the line reader
// delivers, so that tests can check what the server gathered, while the
// types come from the test's declarations.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "server/TypeCompiler.h"

class SymAttr;
class SymTabSet;

namespace servertest {

/// Declares derived types into the global table of a symbol-table set.
class TypeDeclarer {
public:
    explicit TypeDeclarer(SymTabSet& tables) : tables(tables) {}
    /// The type named `name`: elementary (exact name) or global (any case).
    SymAttr* Type(const std::string& name);
    /// TYPE name : STRUCT c1 : t1; c2 : t2; ... END_STRUCT.
    SymAttr* Struct(const std::string& name,
                    const std::vector<std::pair<std::string, std::string>>& components);
    /// TYPE name : ARRAY[lower..upper] OF element.
    SymAttr* Array(const std::string& name, int lower, int upper, const std::string& element);
    /// TYPE name : ARRAY[l1..u1, l2..u2] OF element, the way the compiler
    /// builds it: an array over the global type "ELEMENT[l2..u2]".
    SymAttr* Array2(const std::string& name, int l1, int u1, int l2, int u2, const std::string& element);
    /// A record of the global table that is no data type (as a program unit
    /// or function-block type name would be).
    SymAttr* Other(const std::string& name);

private:
    SymTabSet& tables;
};

/// What the test type compiler saw, shared with the test after the project
/// took the compiler over.
struct CompileLog {
    int creates = 0;
    int destroys = 0;
    int compiles = 0;
    std::string text;          ///< every line the reader delivered, in order
    bool failCreate = false;   ///< make Create fail (no instance)
};

class DeclaredTypeCompiler : public TypeCompiler {
public:
    using Declarations = std::function<void(TypeDeclarer&)>;
    DeclaredTypeCompiler(Declarations declarations, std::shared_ptr<CompileLog> log);
    ~DeclaredTypeCompiler() override;

    bool Create() override;
    bool Destroy() override;
    bool HasInstance() const override { return tables != nullptr; }

protected:
    SymTabSet* Tables() override { return tables.get(); }
    void ParseTypeFile(char* (*reader)(char* buffer, unsigned short size)) override;

private:
    Declarations declarations;
    std::shared_ptr<CompileLog> log;
    std::unique_ptr<SymTabSet> tables;
};

/// A factory of DeclaredTypeCompilers with the same declarations and log.
TypeCompilerFactory DeclaredTypes(DeclaredTypeCompiler::Declarations declarations,
                                  std::shared_ptr<CompileLog> log = nullptr);

/// The types of the example plant (examples/plant), declared as its .dty
/// files declare them.
void DeclarePlantTypes(TypeDeclarer& d);

} // namespace servertest
