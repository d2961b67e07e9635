// ProjectSet and KorvaneProject::FindOrAddProject: the loaded projects.
#include "server/ProjectSet.h"

#include <new>

#include "server/CsLock.h"
#include "server/KorvaneProject.h"
#include "server/Trace.h"

namespace {
TypeCompilerFactory& DefaultFactory() {
    static TypeCompilerFactory factory;
    return factory;
}
} // namespace

ProjectSet::ProjectSet(TypeCompilerFactory factory) : compilerFactory(std::move(factory)) {
    InitializeCriticalSection(&lock);
}

ProjectSet::~ProjectSet() {
    {
        CsLock hold(lock);
        projects.clear();
    }
    DeleteCriticalSection(&lock);
}

ProjectSet& ProjectSet::Instance() {
    static ProjectSet set(DefaultFactory());
    return set;
}

void ProjectSet::SetDefaultTypeCompilerFactory(TypeCompilerFactory factory) {
    DefaultFactory() = std::move(factory);
}

TypeCompilerFactory ProjectSet::TypeCompilers() {
    CsLock hold(lock);
    return compilerFactory;
}

void ProjectSet::SetTypeCompilers(TypeCompilerFactory factory) {
    CsLock hold(lock);
    compilerFactory = std::move(factory);
}

std::unique_ptr<TypeCompiler> ProjectSet::MakeCompiler() const {
    return compilerFactory ? compilerFactory() : nullptr;
}

KorvaneProject* ProjectSet::FindProject(const std::string& path) {
    CsLock hold(lock);
    for (const auto& project : projects)
        if (project->FullPath() == path)
            return project.get();
    return nullptr;
}

std::string ProjectSet::FirstPath() {
    CsLock hold(lock);
    return projects.empty() ? defaultPath : projects.front()->FullPath();
}

size_t ProjectSet::Size() {
    CsLock hold(lock);
    return projects.size();
}

void ProjectSet::Insert(std::unique_ptr<KorvaneProject> project) {
    CsLock hold(lock);
    projects.push_back(std::move(project));
}

bool KorvaneProject::FindOrAddProject(ProjectSet& set, const std::string& path, KorvaneProject*& project) {
    CsLock hold(set.lock);
    std::unique_ptr<KorvaneProject> made(new (std::nothrow) KorvaneProject(path, set.MakeCompiler()));
    if (made == nullptr)
        return false;
    // The set lock stays held for the whole first read, retries included,
    // so that two opens of one new path cannot load it twice.
    if (made->bRead(false)) {
        project = made.get();
        set.Insert(std::move(made));
        // The project's 32-bit identifier stands where a 32-bit server
        // printed the object's address: pointers are never cut to 32 bits.
        Trace(1, "", 0, "KorvaneProject::FindOrAddProject: Created new project for '%s' at address 0x%08X.",
              path.c_str(), static_cast<unsigned>(project->Id()));
        return true;
    }
    Trace(3, TRACE_HERE, "KorvaneProject::FindOrAddProject: Read () failed - no new project created for '%s'.",
          path.c_str());
    return false;
}

bool KorvaneProject::FindOrAddProject(const std::string& path, KorvaneProject*& project) {
    return FindOrAddProject(ProjectSet::Instance(), path, project);
}
