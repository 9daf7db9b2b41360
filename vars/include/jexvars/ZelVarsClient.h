// What programs and the setup library do with the variable store: make a
// builder straight from the library's class factory (no registry), read a
// .vrl file, and take texts and lists out of a tree.
#pragma once

#include "jexvars/ZelComPtr.h"
#include "jexvars/ZelVars.h"

#include <string>

// A new object of class clsid, asked for iid, from the class factory that
// getClassObject (DllGetClassObject of a loaded library) hands out.
HRESULT ZelCreateFromClassObject(ZelDllGetClassObject getClassObject, REFCLSID clsid, IUnknown* outer, REFIID iid,
                                 void** object);
// A new builder from DllGetClassObject of a loaded libJexVars.so.
HRESULT ZelNewVarBuilder(ZelDllGetClassObject getClassObject, CZelComPtr<IZelVarBuilder>& builder);
// Loads libJexVars.so from folder (it stays loaded) and makes a builder;
// false with the reason.
bool ZelLoadVarBuilder(const std::string& folder, CZelComPtr<IZelVarBuilder>& builder, std::string& error);
// Reads a .vrl file (UTF-8 path) and gives its root array; empty when it
// cannot be read.
CZelComPtr<IZelArray> ZelReadVrlFile(IZelVarBuilder& builder, const std::string& path);
// The element at index when it is an array; empty otherwise.
CZelComPtr<IZelArray> ZelArrayAt(IZelArray& array, LONG index);
// The text of the element at index; false when it is no string.
bool ZelTextAt(IZelArray& array, LONG index, std::u16string& text);
