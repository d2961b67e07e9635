// Login: one client login: its name, its 32-bit handle, the project it has
// opened (shared with other logins) and its current selection.
#pragma once

#include <cstdint>
#include <string>

#include "server/VarSelection.h"

class KorvaneProject;

class Login {
public:
    /// A login named `name` with the handle `handle` (non-zero); not
    /// attached, empty selection.
    Login(const std::string& name, uint32_t handle);
    /// Detaches from the project (its login count goes down by one).
    ~Login();
    Login(const Login&) = delete;
    Login& operator=(const Login&) = delete;

    /// The handle that the client holds: a 32-bit identifier, non-zero and
    /// never given to another login while the process lives.
    uint32_t Handle() const { return handle; }
    const std::string& Name() const { return name; }
    /// The path with which the project was opened; empty when not attached.
    const std::string& ProjectPath() const { return projectPath; }
    /// The attached project (owned by the project set), or null.
    KorvaneProject* Project() const { return project; }
    /// The login's current query result.
    VarSelection& Selection() { return selection; }

    /// Detaches from the current project (its count goes down), then
    /// attaches `newProject` (may be null: stays detached, path empty) with
    /// `path`, counting the login in.
    void Attach(KorvaneProject* newProject, const std::string& path);

private:
    std::string name;
    uint32_t handle;
    std::string projectPath;
    KorvaneProject* project = nullptr;
    VarSelection selection;
};
