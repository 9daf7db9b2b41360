// A variable builder for the fuzz targets of the variable store and the
// setup scripts, made straight from the store's class factory.
#pragma once

#include "FuzzSupport.h"
#include "jexvars/ZelVars.h"

extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object);

namespace jexfuzz {

// A new builder, one reference for the caller.
inline IZelVarBuilder* NewBuilder()
{
    IClassFactory* factory = nullptr;
    Require(DllGetClassObject(CLSID_CZelVarBuilder, IID_IClassFactory, reinterpret_cast<void**>(&factory)) == S_OK,
            "no class factory for the builder");
    IZelVarBuilder* builder = nullptr;
    factory->CreateInstance(nullptr, IID_IZelVarBuilder, reinterpret_cast<void**>(&builder));
    factory->Release();
    Require(builder != nullptr, "no builder");
    return builder;
}

} // namespace jexfuzz
