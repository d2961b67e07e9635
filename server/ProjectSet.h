// ProjectSet: the process-wide set of loaded projects, each loaded once and
// shared by every login that opens its path. A project enters the set after
// its first successful read and stays until the set is destroyed.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Sync.h"
#include "server/TypeCompiler.h"

class KorvaneProject;

class ProjectSet {
public:
    /// An empty set whose new projects get their type compiler from
    /// `factory` (an empty factory gives projects without compiler: their
    /// reads fail).
    explicit ProjectSet(TypeCompilerFactory factory);
    /// Destroys every project.
    ~ProjectSet();
    ProjectSet(const ProjectSet&) = delete;
    ProjectSet& operator=(const ProjectSet&) = delete;

    /// The process-wide set. It is made at its first use with the factory
    /// installed by SetDefaultTypeCompilerFactory, and destroyed at process
    /// end, after the login set (C_LoginSet::Instance makes it first).
    static ProjectSet& Instance();
    /// The factory that Instance() uses; install it before Instance() is
    /// first called.
    static void SetDefaultTypeCompilerFactory(TypeCompilerFactory factory);

    /// The factory that gives new projects of this set their type compiler,
    /// and its replacement (for projects made from then on).
    TypeCompilerFactory TypeCompilers();
    void SetTypeCompilers(TypeCompilerFactory factory);

    /// Under the set lock: the first project in set order whose full path
    /// equals `path` byte for byte; null when none.
    KorvaneProject* FindProject(const std::string& path);
    /// The full path of the first project in set order, or the default path
    /// (always empty) when the set is empty.
    std::string FirstPath();
    /// Number of projects.
    size_t Size();

private:
    friend class KorvaneProject;

    /// Takes ownership of a project that has been read successfully.
    void Insert(std::unique_ptr<KorvaneProject> project);
    std::unique_ptr<TypeCompiler> MakeCompiler() const;

    CRITICAL_SECTION lock;
    std::string defaultPath;
    TypeCompilerFactory compilerFactory;
    // Set order is load order, so that the first project is the first one
    // loaded (the default project of the document interface).
    std::vector<std::unique_ptr<KorvaneProject>> projects;
};
