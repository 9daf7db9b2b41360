// The live variables and the component server, through the library's
// exports.
#include "support/VarsLibrary.h"
#include "support/TestImages.h"

#include "jexvars/ZelComClient.h"
#include "jexvars/ZelComPtr.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

using namespace varstest;

namespace {

LONG IndexOf(IZelArray* array, LONG position)
{
    IZelVariable* element = nullptr;
    EXPECT_EQ(array->GetAt(position, &element), S_OK);
    LONG index = -1;
    if (element != nullptr) {
        element->get_IndexOf(&index);
        element->Release();
    }
    return index;
}

LONG Count(IZelArray* array)
{
    LONG count = -1;
    array->get_Count(&count);
    return count;
}

// An outer object that aggregates a store object and counts its own
// references.
struct Outer : public IUnknown {
    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown) {
            *object = this;
            AddRef();
            return S_OK;
        }
        return inner != nullptr ? inner->QueryInterface(iid, object) : E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++references; }
    ULONG Release() override { return --references; }
    ULONG references = 1;
    IUnknown* inner = nullptr;
};

} // namespace

TEST(Variables, NewObjectsAndTheirFields)
{
    IZelString* text = New<IZelString>(CLSID_CZelString, IID_IZelString);
    ASSERT_TRUE(text);
    BSTR value = nullptr;
    ASSERT_EQ(text->get_Value(&value), S_OK);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(SysStringLen(value), 0u);
    SysFreeString(value);
    CZelBstr comment;
    ASSERT_EQ(text->get_Comment(comment.Out()), S_OK);
    EXPECT_EQ(comment.Text(), u"");
    IZelVariable* parent = reinterpret_cast<IZelVariable*>(1);
    EXPECT_EQ(text->get_Parent(&parent), S_OK);
    EXPECT_EQ(parent, nullptr);
    LONG index = -1;
    text->get_IndexOf(&index);
    EXPECT_EQ(index, 0);

    // A comment with a zero character keeps the text before it; null keeps
    // the old one.
    const char16_t withZero[] = {u'a', u'b', 0, u'c'};
    BSTR raw = SysAllocStringLen(withZero, 4);
    EXPECT_EQ(text->put_Comment(raw), S_OK);
    SysFreeString(raw);
    EXPECT_EQ(text->put_Comment(nullptr), ZEL_E_INVALIDARG);
    text->get_Comment(comment.Out());
    EXPECT_EQ(comment.Text(), u"ab");
    // A null value is kept as null.
    EXPECT_EQ(text->put_Value(nullptr), S_OK);
    text->get_Value(&value);
    EXPECT_EQ(value, nullptr);

    IZelString* none = reinterpret_cast<IZelString*>(1);
    EXPECT_EQ(text->ToString(&none), S_OK);
    EXPECT_EQ(none, nullptr);
    IZelVariable* clone = reinterpret_cast<IZelVariable*>(1);
    EXPECT_EQ(text->Clone(&clone), S_OK);
    EXPECT_EQ(clone, nullptr);
    ZelVariableTypes type = ZelVariableTypes_None;
    text->get_Type(&type);
    EXPECT_EQ(type, ZelVariableTypes_String);
    IZelLong* wrong = nullptr;
    EXPECT_EQ(text->QueryInterface(IID_IZelLong, reinterpret_cast<void**>(&wrong)), E_NOINTERFACE);
    text->Release();
}

TEST(Variables, ArrayPositionsAndIndexes)
{
    IZelArray* array = New<IZelArray>(CLSID_CZelArray, IID_IZelArray);
    ASSERT_TRUE(array);
    IZelLong* x = New<IZelLong>(CLSID_CZelLong, IID_IZelLong);
    EXPECT_EQ(array->InsertAt(0, x), ZEL_E_INVALIDARG) << "an empty array takes no insert";
    EXPECT_EQ(array->AddByEnum(ZelVariableTypes_None), ZEL_E_INVALIDARG);
    EXPECT_EQ(array->AddByEnum(static_cast<ZelVariableTypes>(5)), ZEL_E_INVALIDARG);
    EXPECT_EQ(Count(array), 0);
    EXPECT_EQ(array->AddByEnum(ZelVariableTypes_Double), S_OK);
    EXPECT_EQ(array->AddByEnum(ZelVariableTypes_String), S_OK);
    EXPECT_EQ(array->InsertAt(2, x), ZEL_E_INVALIDARG) << "inserting at Count is appending";
    EXPECT_EQ(array->InsertAt(0, x), S_OK);
    EXPECT_EQ(IndexOf(array, 0), 0);
    EXPECT_EQ(IndexOf(array, 1), 1);
    EXPECT_EQ(IndexOf(array, 2), 2);
    EXPECT_EQ(array->InsertAtByEnum(1, ZelVariableTypes_Array), S_OK);
    EXPECT_EQ(Count(array), 4);
    EXPECT_EQ(IndexOf(array, 3), 3);
    EXPECT_EQ(array->RemoveAt(0), S_OK);
    EXPECT_EQ(Count(array), 3);
    EXPECT_EQ(IndexOf(array, 0), 0);
    EXPECT_EQ(IndexOf(array, 2), 2);
    IZelVariable* out = reinterpret_cast<IZelVariable*>(1);
    EXPECT_EQ(array->GetAt(-1, &out), ZEL_E_INVALIDARG);
    EXPECT_EQ(out, nullptr);
    out = reinterpret_cast<IZelVariable*>(1);
    EXPECT_EQ(array->GetAt(3, &out), ZEL_E_INVALIDARG);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(array->RemoveAt(3), ZEL_E_INVALIDARG);
    EXPECT_EQ(array->Add(nullptr), ZEL_E_INVALIDARG);

    // The removed element no longer names the array as its parent.
    IZelVariable* parent = nullptr;
    x->get_Parent(&parent);
    EXPECT_EQ(parent, nullptr);
    EXPECT_EQ(array->Add(x), S_OK);
    x->get_Parent(&parent);
    EXPECT_NE(parent, nullptr);
    if (parent != nullptr)
        parent->Release();
    array->Release();
    // The array is gone: its elements forget it.
    x->get_Parent(&parent);
    EXPECT_EQ(parent, nullptr);
    x->Release();
}

TEST(Variables, NoTreeContainsItself)
{
    IZelArray* outer = New<IZelArray>(CLSID_CZelArray, IID_IZelArray);
    IZelArray* middle = New<IZelArray>(CLSID_CZelArray, IID_IZelArray);
    IZelArray* inner = New<IZelArray>(CLSID_CZelArray, IID_IZelArray);
    ASSERT_EQ(middle->Add(inner), S_OK);
    ASSERT_EQ(outer->Add(middle), S_OK);
    EXPECT_EQ(outer->Add(outer), ZEL_E_INVALIDARG);
    EXPECT_EQ(inner->Add(outer), ZEL_E_INVALIDARG);
    EXPECT_EQ(inner->AddByEnum(ZelVariableTypes_Long), S_OK);
    EXPECT_EQ(inner->InsertAt(0, middle), ZEL_E_INVALIDARG);
    // The same array twice in one tree is no cycle.
    EXPECT_EQ(outer->Add(inner), S_OK);
    outer->Release();
    middle->Release();
    inner->Release();
}

TEST(Variables, LifetimesAndUnloading)
{
    EXPECT_EQ(Vars().canUnloadNow(), S_OK);
    IZelVarBuilder* builder = NewBuilder();
    ASSERT_TRUE(builder);
    EXPECT_EQ(Vars().canUnloadNow(), S_FALSE);
    IZelArray* root = nullptr;
    builder->get_RootArray(&root);
    builder->Release();
    // The tree lives on while a caller holds it.
    EXPECT_EQ(Vars().canUnloadNow(), S_FALSE);
    EXPECT_EQ(root->AddByEnum(ZelVariableTypes_Long), S_OK);
    root->Release();
    EXPECT_EQ(Vars().canUnloadNow(), S_OK);

    // A factory reference beyond the library's own, and a server lock.
    IClassFactory* factory = nullptr;
    ASSERT_EQ(Vars().getClassObject(CLSID_CZelLong, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    EXPECT_EQ(Vars().canUnloadNow(), S_FALSE);
    factory->LockServer(1);
    factory->Release();
    EXPECT_EQ(Vars().canUnloadNow(), S_FALSE);
    ASSERT_EQ(Vars().getClassObject(CLSID_CZelLong, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    factory->LockServer(0);
    factory->Release();
    EXPECT_EQ(Vars().canUnloadNow(), S_OK);

    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(Vars().getClassObject(IID_IZelArray, IID_IClassFactory, &none), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(Vars().getClassObject(CLSID_CZelLong, IID_IClassFactory, nullptr), E_POINTER);
}

TEST(Variables, Aggregation)
{
    IClassFactory* factory = nullptr;
    ASSERT_EQ(Vars().getClassObject(CLSID_CZelArray, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    Outer outer;
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IZelArray, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);
    factory->Release();
    // Through the aggregate, the array's references are the outer object's.
    IZelArray* array = nullptr;
    ASSERT_EQ(outer.QueryInterface(IID_IZelArray, reinterpret_cast<void**>(&array)), S_OK);
    EXPECT_EQ(outer.references, 2u);
    EXPECT_EQ(array->AddByEnum(ZelVariableTypes_Long), S_OK);
    IUnknown* identity = nullptr;
    ASSERT_EQ(array->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
    identity->Release();
    array->Release();
    EXPECT_EQ(outer.references, 1u);
    outer.inner->Release();
    EXPECT_EQ(Vars().canUnloadNow(), S_OK);
}

TEST(Variables, LateBindingByName)
{
    IZelArray* array = New<IZelArray>(CLSID_CZelArray, IID_IZelArray);
    ASSERT_TRUE(array);
    array->AddByEnum(ZelVariableTypes_Long);
    array->AddByEnum(ZelVariableTypes_String);
    const char16_t* names[] = {u"Count", u"count", u"AddByEnum", u"GetAt", u"Nothing"};
    DISPID ids[5];
    for (int i = 0; i < 5; ++i) {
        LPOLESTR name = const_cast<LPOLESTR>(names[i]);
        HRESULT hr = array->GetIDsOfNames(IID_NULL, &name, 1, 0, &ids[i]);
        EXPECT_EQ(hr, i < 4 ? S_OK : DISP_E_UNKNOWNNAME) << i;
    }
    EXPECT_EQ(ids[0], 17);
    EXPECT_EQ(ids[1], 17);
    EXPECT_EQ(ids[2], 10);

    VARIANT result;
    VariantInit(&result);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    ASSERT_EQ(array->Invoke(17, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr), S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 2);

    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_I4;
    argument.lVal = ZelVariableTypes_Double;
    DISPPARAMS one = {&argument, nullptr, 1, 0};
    ASSERT_EQ(array->Invoke(10, IID_NULL, 0, DISPATCH_METHOD, &one, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(Count(array), 3);
    argument.lVal = 0;
    ASSERT_EQ(array->Invoke(12, IID_NULL, 0, DISPATCH_METHOD, &one, &result, nullptr, nullptr), S_OK);
    ASSERT_EQ(result.vt, VT_DISPATCH);
    IZelLong* first = nullptr;
    ASSERT_EQ(result.pdispVal->QueryInterface(IID_IZelLong, reinterpret_cast<void**>(&first)), S_OK);
    VariantClear(&result);
    // The long's value by name, written and read.
    argument.lVal = 42;
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS value = {&argument, &put, 1, 1};
    ASSERT_EQ(first->Invoke(10, IID_NULL, 0, DISPATCH_PROPERTYPUT, &value, nullptr, nullptr, nullptr), S_OK);
    LONG got = 0;
    first->get_Value(&got);
    EXPECT_EQ(got, 42);
    first->Release();
    // Wrong argument counts and kinds.
    EXPECT_EQ(array->Invoke(10, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              DISP_E_PARAMNOTOPTIONAL);
    argument.vt = VT_BSTR;
    argument.bstrVal = nullptr;
    EXPECT_EQ(array->Invoke(10, IID_NULL, 0, DISPATCH_METHOD, &one, nullptr, nullptr, nullptr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(array->Invoke(99, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    array->Release();
}

TEST(Registration, IntoARegistryFileAndOut)
{
    jextest::TempDir dir;
    std::string registry = dir.File("registry");
    ::setenv("JEXVARS_REGISTRY", registry.c_str(), 1);
    ASSERT_EQ(Vars().registerServer(), S_OK);
    std::stringstream text;
    text << std::ifstream(registry).rdbuf();
    const std::string entries = text.str();
    EXPECT_NE(entries.find("[HKCR\\CLSID\\{95750870-E914-4259-968C-AEE356462710}\\InprocServer32]"),
              std::string::npos);
    EXPECT_NE(entries.find("ThreadingModel=Apartment"), std::string::npos);
    EXPECT_NE(entries.find("[HKCR\\JexVars.CZelVarBuilder]"), std::string::npos);
    EXPECT_NE(entries.find("[HKCR\\JexVars.CZelVarBuilder\\CurVer]\n@=JexVars.CZelVarBuilder.1"), std::string::npos);
    EXPECT_NE(entries.find("[HKCR\\AppID\\{E4A47E4E-18D5-4DC6-86A7-072B23627538}]"), std::string::npos);
    EXPECT_NE(entries.find("libJexVars.so"), std::string::npos);

    // An object made by class identifier, as the component runtime would.
    IZelVarBuilder* builder = nullptr;
    ASSERT_EQ(ZelCreateInstanceFromRegistry(CLSID_CZelVarBuilder, nullptr, IID_IZelVarBuilder,
                                            reinterpret_cast<void**>(&builder)),
              S_OK);
    builder->Release();

    ASSERT_EQ(Vars().unregisterServer(), S_OK);
    std::stringstream after;
    after << std::ifstream(registry).rdbuf();
    const std::string left = after.str();
    EXPECT_EQ(left.find("CZelVarBuilder"), std::string::npos);
    EXPECT_EQ(left.find("JexVars.DLL"), std::string::npos);
    // The CLSID and AppID keys themselves stay.
    EXPECT_NE(left.find("[HKCR\\CLSID]"), std::string::npos);
    EXPECT_NE(left.find("[HKCR\\AppID]"), std::string::npos);
    void* none = nullptr;
    EXPECT_EQ(ZelCreateInstanceFromRegistry(CLSID_CZelVarBuilder, nullptr, IID_IZelVarBuilder, &none),
              REGDB_E_CLASSNOTREG);
    ::unsetenv("JEXVARS_REGISTRY");
}

TEST(Variables, HoldersReleaseWhatTheyHoldOnEveryPath)
{
    Outer counted;
    {
        CZelComPtr<IUnknown> held(&counted);
        counted.AddRef();
        EXPECT_EQ(counted.references, 2u);
        CZelComPtr<IUnknown> copy = held;
        EXPECT_EQ(counted.references, 3u);
        CZelComPtr<IUnknown> moved = std::move(copy);
        EXPECT_FALSE(copy);
        EXPECT_EQ(counted.references, 3u);
        // An out-parameter slot releases what it held before.
        IUnknown** slot = moved.Out();
        EXPECT_EQ(*slot, nullptr);
        EXPECT_EQ(counted.references, 2u);
        CZelComPtr<IUnknown> other = held.As<IUnknown>(IID_IUnknown);
        EXPECT_EQ(other.Get(), &counted);
        EXPECT_EQ(counted.references, 3u);
        EXPECT_FALSE(held.As<IZelArray>(IID_IZelArray));
    }
    EXPECT_EQ(counted.references, 1u);

    CZelBstr text(u"Params.vrl");
    EXPECT_EQ(text.Text(), u"Params.vrl");
    EXPECT_EQ(SysStringLen(text.Get()), 10u);
    BSTR* slot = text.Out();
    EXPECT_EQ(*slot, nullptr);
    EXPECT_EQ(text.Text(), u"");
}
