// Login: attachment of a login to a project.
#include "server/Login.h"

#include "server/KorvaneProject.h"

Login::Login(const std::string& loginName, uint32_t loginHandle) : name(loginName), handle(loginHandle) {}

Login::~Login() {
    if (project != nullptr)
        project->RemoveLogin();
    selection.Clear();
}

void Login::Attach(KorvaneProject* newProject, const std::string& path) {
    if (project != nullptr)
        project->RemoveLogin();
    projectPath.clear();
    project = newProject;
    if (project != nullptr) {
        project->AddLogin();
        projectPath = path;
    }
}
