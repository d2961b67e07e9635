// Look-ups in static type library descriptions.
#include "platform/TypeLib.h"

const InterfaceDescription* TypeLibFindInterface(const TypeLibDescription* lib, REFIID iid) {
    if (!lib)
        return nullptr;
    for (UINT i = 0; i < lib->interfaceCount; ++i)
        if (lib->interfaces[i] && lib->interfaces[i]->iid == iid)
            return lib->interfaces[i];
    return nullptr;
}
