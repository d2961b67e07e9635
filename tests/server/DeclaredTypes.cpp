// The test type compiler (see DeclaredTypes.h).
#include "tests/server/DeclaredTypes.h"

#include "compiler/SymAttr.h"
#include "compiler/SymTab.h"
#include "compiler/SymTabSet.h"

namespace servertest {

namespace {
constexpr unsigned char kComponentTableKind = 8;
}

SymAttr* TypeDeclarer::Type(const std::string& name) {
    if (SymAttr* elementary = tables.GetElemTab()->lookup(name.c_str()))
        return elementary;
    return tables.GetGlobalTab()->lookup(name.c_str());
}

SymAttr* TypeDeclarer::Struct(const std::string& name,
                              const std::vector<std::pair<std::string, std::string>>& components) {
    SymTab* componentTable = tables.NewScopeTab(kComponentTableKind, name.c_str());
    SymAttr* first = nullptr;
    SymAttr* previous = nullptr;
    for (const auto& [componentName, typeName] : components) {
        SymAttr* component = componentTable->insert(componentName.c_str(), 0, nullptr);
        component->DefStructComp(Type(typeName), previous);
        if (first == nullptr)
            first = component;
        previous = component;
    }
    SymAttr* type = tables.GetGlobalTab()->insert(name.c_str(), 0, nullptr);
    type->DefStructType(first, componentTable);
    return type;
}

SymAttr* TypeDeclarer::Array(const std::string& name, int lower, int upper, const std::string& element) {
    SymAttr* type = tables.GetGlobalTab()->insert(name.c_str(), 0, nullptr);
    type->DefArrayType(new Subrange(lower, upper), Type(element));
    return type;
}

SymAttr* TypeDeclarer::Array2(const std::string& name, int l1, int u1, int l2, int u2,
                              const std::string& element) {
    const std::string inner = element + "[" + std::to_string(l2) + ".." + std::to_string(u2) + "]";
    if (Type(inner) == nullptr)
        Array(inner, l2, u2, element);
    return Array(name, l1, u1, inner);
}

SymAttr* TypeDeclarer::Other(const std::string& name) {
    return tables.GetGlobalTab()->insert(name.c_str(), 0, nullptr);
}

DeclaredTypeCompiler::DeclaredTypeCompiler(Declarations d, std::shared_ptr<CompileLog> l)
    : declarations(std::move(d)), log(l ? std::move(l) : std::make_shared<CompileLog>()) {}

DeclaredTypeCompiler::~DeclaredTypeCompiler() { Destroy(); }

bool DeclaredTypeCompiler::Create() {
    if (tables != nullptr)
        return true;
    if (log->failCreate)
        return false;
    auto made = std::make_unique<SymTabSet>(151, nullptr, nullptr);
    if (made->GetStatus() != 0)
        return false;
    tables = std::move(made);
    ++log->creates;
    if (declarations) {
        TypeDeclarer declarer(*tables);
        declarations(declarer);
    }
    return true;
}

bool DeclaredTypeCompiler::Destroy() {
    if (tables != nullptr) {
        tables.reset();
        ++log->destroys;
    }
    return true;
}

void DeclaredTypeCompiler::ParseTypeFile(char* (*reader)(char* buffer, unsigned short size)) {
    ++log->compiles;
    char buffer[600];
    while (reader(buffer, sizeof buffer) != nullptr)
        log->text += buffer;
}

TypeCompilerFactory DeclaredTypes(DeclaredTypeCompiler::Declarations declarations,
                                  std::shared_ptr<CompileLog> log) {
    return [declarations, log]() -> std::unique_ptr<TypeCompiler> {
        return std::make_unique<DeclaredTypeCompiler>(declarations, log);
    };
}

} // namespace servertest

namespace servertest {

void DeclarePlantTypes(TypeDeclarer& d) {
    // Lib/Standard.dty
    d.Struct("ALARM_T", {{"Active", "BOOL"}, {"Acked", "BOOL"}, {"Code", "UINT"}});
    d.Struct("ANALOG_T", {{"Raw", "INT"}, {"Value", "REAL"}, {"Status", "WORD"}});
    // DFB/Valves.dty
    d.Struct("VALVE_T", {{"Open", "BOOL"}, {"Closed", "BOOL"}, {"Cmd", "BOOL"}, {"Fault", "ALARM_T"}});
    // projects/line1/Line1.dty
    d.Struct("MOTOR_T", {{"Speed", "INT"}, {"Running", "BOOL"}, {"Current", "REAL"}, {"Alarm", "ALARM_T"}});
    d.Struct("TANK_T", {{"Level", "ANALOG_T"}, {"Inlet", "VALVE_T"}, {"Outlet", "VALVE_T"}});
    d.Array("RECIPE_T", 1, 10, "DINT");
    d.Array("TEMP4_T", 1, 4, "INT");
    d.Array2("TEMP_MAP_T", 0, 3, 1, 4, "REAL");
    d.Struct("BATCH_T", {{"Id", "UDINT"}, {"Steps", "RECIPE_T"}, {"Temps", "TEMP4_T"}});
    d.Array("MOTORS_T", 1, 4, "MOTOR_T");
    // projects/line1/DFB/Conveyor.dty
    d.Struct("CONVEYOR_T", {{"Drive", "MOTOR_T"}, {"Belt_Speed", "REAL"}, {"Jammed", "BOOL"}});
}

} // namespace servertest
