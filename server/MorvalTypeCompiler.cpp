// MorvalTypeCompiler: the project's type compilation on the compiler facade.
#include "server/MorvalTypeCompiler.h"

#include <new>

#include "base/TiMemRegister.h"
#include "compiler/morval.h"

MorvalTypeCompiler::~MorvalTypeCompiler() { Destroy(); }

bool MorvalTypeCompiler::Create() {
    if (instance != nullptr)
        return true;
    // The memory registration is process-wide and unguarded; creations and
    // destructions of the process take turns with compilations.
    std::lock_guard<std::mutex> guard(ProcessLock());
    morval* made = new (std::nothrow) morval(nullptr, nullptr, nullptr);
    if (made == nullptr)
        return false;
    if (made->GetStatus() != 0) {
        // A facade that could not build its parts answers every call with
        // its status: it cannot compile anything.
        delete made;
        return false;
    }
    made->modeFlags |= 0x8000;
    made->langFlags |= TiCompOptions::DigitNames;
    made->langFlags &= static_cast<uint16_t>(~TiCompOptions::LowerCaseKeywords);
    TiMemRegisterEnable(true);
    instance = made;
    return true;
}

bool MorvalTypeCompiler::Destroy() {
    if (instance == nullptr)
        return true;
    std::lock_guard<std::mutex> guard(ProcessLock());
    instance->DelVars();
    TiMemRegisterEnable(false);
    delete instance;
    instance = nullptr;
    return true;
}

SymTabSet* MorvalTypeCompiler::Tables() { return instance != nullptr ? instance->GetSymTabSet() : nullptr; }

void MorvalTypeCompiler::ParseTypeFile(char* (*reader)(char* buffer, unsigned short size)) {
    instance->Parse(reader, "VARSVC32", nullptr, nullptr, nullptr, nullptr);
}

TypeCompilerFactory MorvalTypeCompilers() {
    return []() -> std::unique_ptr<TypeCompiler> { return std::make_unique<MorvalTypeCompiler>(); };
}
