// MorvalTypeCompiler: the TypeCompiler on the compiler library's facade
// `morval`: one facade instance per project, made with the server's option
// settings and the base library's memory registration switched on around
// its life, fed the temporary type file through the line reader.
#pragma once

#include "server/TypeCompiler.h"

class morval;

class MorvalTypeCompiler : public TypeCompiler {
public:
    MorvalTypeCompiler() = default;
    /// Destroys the instance if one exists.
    ~MorvalTypeCompiler() override;

    /// Without an instance: constructs morval(null, null, null); a facade
    /// whose construction status is not 0 is destroyed again (false). Then
    /// sets modeFlags 0x8000 (bit 0x80 of option byte 9: equivalent type
    /// redeclarations are accepted silently), sets langFlags 0x0100 (bit 0x01
    /// of byte 11: DigitNames), clears langFlags 0x0020 (bit 0x20 of the word
    /// at byte 10: LowerCaseKeywords), and switches memory registration on
    /// (TiMemRegisterEnable(1), a fresh registry). True when an instance
    /// exists afterwards.
    bool Create() override;
    /// With an instance: DelVars, memory registration off
    /// (TiMemRegisterEnable(0)), destruction. Always true.
    bool Destroy() override;
    bool HasInstance() const override { return instance != nullptr; }

protected:
    SymTabSet* Tables() override;
    /// Parse(reader, "VARSVC32", no section, no tree, no counts, no update);
    /// the result is not looked at.
    void ParseTypeFile(char* (*reader)(char* buffer, unsigned short size)) override;

private:
    morval* instance = nullptr;
};

/// A factory of MorvalTypeCompilers, for ProjectSet.
TypeCompilerFactory MorvalTypeCompilers();
