// .vrl files written and read through the builder, byte for byte.
#include "support/VarsLibrary.h"
#include "support/TestImages.h"

#include <cmath>
#include <cstring>
#include <limits>

using namespace varstest;

namespace {

// The worked example: a long 7 with comment N, then the string Hi.
std::vector<uint8_t> Example()
{
    std::vector<uint8_t> b = Magic();
    PutTag(b, "AR");
    Put32(b, 0);
    Put32(b, 2);
    PutTag(b, "SL");
    PutText(b, u"N");
    Put32(b, 7);
    PutTag(b, "ST");
    Put32(b, 0);
    PutText(b, u"Hi");
    return b;
}

struct BuilderFixture : public ::testing::Test {
    void SetUp() override { builder = NewBuilder(); ASSERT_TRUE(builder); }
    void TearDown() override
    {
        if (builder != nullptr)
            builder->Release();
    }
    HRESULT Read(const std::vector<uint8_t>& bytes, VARIANT_BOOL& done)
    {
        jextest::WriteFile(dir.File("in.vrl"), bytes);
        CZelBstr name(Path("in.vrl"));
        return builder->ReadFile(name.Get(), &done);
    }
    std::u16string Path(const std::string& file) const
    {
        std::string p = dir.File(file);
        return std::u16string(p.begin(), p.end());
    }
    IZelArray* Root()
    {
        IZelArray* root = nullptr;
        EXPECT_EQ(builder->get_RootArray(&root), S_OK);
        return root;
    }

    jextest::TempDir dir;
    IZelVarBuilder* builder = nullptr;
};

} // namespace

TEST_F(BuilderFixture, WorkedExampleWrittenAndReadByteForByte)
{
    IZelArray* root = Root();
    ASSERT_TRUE(root);
    ASSERT_EQ(root->AddByEnum(ZelVariableTypes_Long), S_OK);
    ASSERT_EQ(root->AddByEnum(ZelVariableTypes_String), S_OK);
    IZelVariable* first = nullptr;
    IZelVariable* second = nullptr;
    ASSERT_EQ(root->GetAt(0, &first), S_OK);
    ASSERT_EQ(root->GetAt(1, &second), S_OK);
    IZelLong* number = nullptr;
    IZelString* text = nullptr;
    ASSERT_EQ(first->QueryInterface(IID_IZelLong, reinterpret_cast<void**>(&number)), S_OK);
    ASSERT_EQ(second->QueryInterface(IID_IZelString, reinterpret_cast<void**>(&text)), S_OK);
    number->put_Value(7);
    number->put_Comment(CZelBstr(u"N").Get());
    text->put_Value(CZelBstr(u"Hi").Get());
    // A value of type None is never written.
    IZelVariable* none = New<IZelVariable>(CLSID_CZelVariable, IID_IZelVariable);
    ASSERT_EQ(root->Add(none), S_OK);
    none->Release();
    first->Release();
    second->Release();
    number->Release();
    text->Release();
    root->Release();

    VARIANT_BOOL done = VARIANT_FALSE;
    CZelBstr out(Path("example.vrl"));
    ASSERT_EQ(builder->WriteFile(out.Get(), &done), S_OK);
    EXPECT_EQ(done, VARIANT_TRUE);
    auto written = jextest::ReadFile(dir.File("example.vrl"));
    EXPECT_EQ(written.size(), 70u);
    EXPECT_EQ(written, Example());
    CZelBstr name;
    ASSERT_EQ(builder->get_FullFileName(name.Out()), S_OK);
    EXPECT_EQ(name.Text(), Path("example.vrl"));

    // Read back, edited, and written again exactly as expected.
    ASSERT_EQ(Read(Example(), done), S_OK);
    ASSERT_EQ(done, VARIANT_TRUE);
    root = Root();
    LONG count = 0;
    root->get_Count(&count);
    EXPECT_EQ(count, 2);
    IZelVariable* element = nullptr;
    ASSERT_EQ(root->GetAt(1, &element), S_OK);
    IZelString* hi = nullptr;
    ASSERT_EQ(element->QueryInterface(IID_IZelString, reinterpret_cast<void**>(&hi)), S_OK);
    hi->put_Value(CZelBstr(u"Ho").Get());
    hi->Release();
    element->Release();
    root->Release();
    ASSERT_EQ(builder->WriteFile(out.Get(), &done), S_OK);
    auto expected = Example();
    expected[68] = 'o';
    EXPECT_EQ(jextest::ReadFile(dir.File("example.vrl")), expected);
}

TEST_F(BuilderFixture, RoundTripsKeepShapeCommentsAndEveryBit)
{
    IZelArray* root = Root();
    const double values[] = {-0.0, std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                             1.0 / 3.0};
    for (double v : values) {
        IZelDouble* d = nullptr;
        ASSERT_EQ(builder->DoubleCreate(&d), S_OK);
        d->put_Value(v);
        root->Add(d);
        d->Release();
    }
    // A NaN with a payload of its own.
    uint64_t nanBits = 0x7FF8000000ABCDEFull;
    double nan;
    std::memcpy(&nan, &nanBits, 8);
    IZelDouble* d = nullptr;
    builder->DoubleCreate(&d);
    d->put_Value(nan);
    root->Add(d);
    d->Release();
    // Nested arrays with comments, an empty string and a non-ASCII text.
    IZelArray* inner = nullptr;
    builder->ArrayCreate(&inner);
    inner->put_Comment(CZelBstr(u"Sprachen \u00fc").Get());
    inner->AddByEnum(ZelVariableTypes_String);
    IZelArray* deepest = nullptr;
    builder->ArrayCreate(&deepest);
    IZelString* s = nullptr;
    builder->StringCreate(&s);
    s->put_Value(CZelBstr(u"\u0420\u0443\u0441\u0441\u043a\u0438\u0439").Get());
    deepest->Add(s);
    s->Release();
    inner->Add(deepest);
    deepest->Release();
    root->Add(inner);
    inner->Release();
    root->Release();

    VARIANT_BOOL done = VARIANT_FALSE;
    CZelBstr file(Path("round.vrl"));
    ASSERT_EQ(builder->WriteFile(file.Get(), &done), S_OK);
    auto first = jextest::ReadFile(dir.File("round.vrl"));
    ASSERT_EQ(builder->ReadFile(file.Get(), &done), S_OK);
    ASSERT_EQ(done, VARIANT_TRUE);
    CZelBstr again(Path("again.vrl"));
    ASSERT_EQ(builder->WriteFile(again.Get(), &done), S_OK);
    EXPECT_EQ(jextest::ReadFile(dir.File("again.vrl")), first);

    root = Root();
    for (LONG i = 0; i < 5; ++i) {
        IZelVariable* v = nullptr;
        ASSERT_EQ(root->GetAt(i, &v), S_OK);
        IZelDouble* value = nullptr;
        ASSERT_EQ(v->QueryInterface(IID_IZelDouble, reinterpret_cast<void**>(&value)), S_OK);
        double got = 0;
        value->get_Value(&got);
        uint64_t gotBits, wantBits;
        std::memcpy(&gotBits, &got, 8);
        double want = i < 4 ? values[i] : nan;
        std::memcpy(&wantBits, &want, 8);
        EXPECT_EQ(gotBits, wantBits) << i;
        value->Release();
        v->Release();
    }
    root->Release();
}

TEST_F(BuilderFixture, DamagedFilesAndTheStateTheyLeave)
{
    VARIANT_BOOL done = VARIANT_TRUE;
    auto example = Example();
    // Short, empty, and a magic that differs in the case of one letter.
    EXPECT_EQ(Read(std::vector<uint8_t>(example.begin(), example.begin() + 20), done), ZEL_E_FILEIO);
    EXPECT_EQ(Read({}, done), ZEL_E_FILEIO);
    auto wrongCase = example;
    wrongCase[0] = 'j';
    EXPECT_EQ(Read(wrongCase, done), ZEL_E_BADHEADER);
    EXPECT_EQ(done, VARIANT_FALSE);
    IZelArray* root = Root();
    EXPECT_EQ(root, nullptr);
    CZelBstr out(Path("out.vrl"));
    EXPECT_EQ(builder->WriteFile(out.Get(), &done), ZEL_E_INVALIDARG);

    // The magic alone, or a long where the root array should be.
    done = VARIANT_TRUE;
    EXPECT_EQ(Read(Magic(), done), S_OK);
    EXPECT_EQ(done, VARIANT_FALSE);
    auto longRoot = Magic();
    PutTag(longRoot, "SL");
    Put32(longRoot, 0);
    Put32(longRoot, 5);
    EXPECT_EQ(Read(longRoot, done), S_OK);
    EXPECT_EQ(done, VARIANT_FALSE);

    // A count of 3 with two elements present.
    auto shortArray = example;
    shortArray[36] = 3;
    ASSERT_EQ(Read(shortArray, done), S_OK);
    EXPECT_EQ(done, VARIANT_TRUE);
    root = Root();
    LONG count = 0;
    root->get_Count(&count);
    EXPECT_EQ(count, 2);
    root->Release();

    // Negative lengths.
    auto badString = Magic();
    PutTag(badString, "AR");
    Put32(badString, 0);
    Put32(badString, 1);
    PutTag(badString, "ST");
    Put32(badString, 0);
    Put32(badString, -1);
    EXPECT_EQ(Read(badString, done), ZEL_E_BADLENGTH);
    auto badComment = Magic();
    PutTag(badComment, "AR");
    Put32(badComment, -1);
    EXPECT_EQ(Read(badComment, done), ZEL_E_BADLENGTH);

    // Lengths and counts larger than the file: refused before anything is
    // taken for them.
    auto hugeText = Magic();
    PutTag(hugeText, "AR");
    Put32(hugeText, 0x7FFFFFF0);
    EXPECT_EQ(Read(hugeText, done), ZEL_E_FILEIO);
    auto hugeCount = Magic();
    PutTag(hugeCount, "AR");
    Put32(hugeCount, 0);
    Put32(hugeCount, 0x7FFFFFFF);
    EXPECT_EQ(Read(hugeCount, done), ZEL_E_FILEIO);

    // Nested arrays whose counts promise more than follows, then bytes of
    // no element: read quickly, the promised slots left empty.
    std::vector<uint8_t> promising = Magic();
    for (int i = 0; i < 900; ++i) {
        PutTag(promising, "AR");
        Put32(promising, 0);
        Put32(promising, 12 * (900 - i));
    }
    promising.insert(promising.end(), 20000, 'x');
    ASSERT_EQ(Read(promising, done), S_OK);
    EXPECT_EQ(done, VARIANT_TRUE);

    // Arrays nested past 1,000 levels.
    std::vector<uint8_t> deep = Magic();
    for (int i = 0; i < 1002; ++i) {
        PutTag(deep, "AR");
        Put32(deep, 0);
        Put32(deep, 1);
    }
    EXPECT_EQ(Read(deep, done), ZEL_E_BADLENGTH);
    EXPECT_EQ(done, VARIANT_FALSE);
}

TEST_F(BuilderFixture, FilesOfMoreElementsThanAllowedAreRefusedUntilTheLimitIsRaised)
{
    // An array of 3 arrays of 4 longs each: 16 elements with the root.
    std::vector<uint8_t> bytes = Magic();
    PutTag(bytes, "AR");
    Put32(bytes, 0);
    Put32(bytes, 3);
    for (int outer = 0; outer < 3; ++outer) {
        PutTag(bytes, "AR");
        PutText(bytes, u"Gruppe");
        Put32(bytes, 4);
        for (int inner = 0; inner < 4; ++inner) {
            PutTag(bytes, "SL");
            Put32(bytes, 0);
            Put32(bytes, outer * 10 + inner);
        }
    }
    LONG limit = 0;
    ASSERT_EQ(builder->get_MaxElements(&limit), S_OK);
    EXPECT_EQ(limit, 1 << 20);
    EXPECT_EQ(builder->put_MaxElements(0), ZEL_E_INVALIDARG);

    VARIANT_BOOL done = VARIANT_TRUE;
    ASSERT_EQ(builder->put_MaxElements(15), S_OK);
    EXPECT_EQ(Read(bytes, done), ZEL_E_BADLENGTH);
    EXPECT_EQ(done, VARIANT_FALSE);
    EXPECT_EQ(Root(), nullptr) << "nothing of a refused file is kept";

    ASSERT_EQ(builder->put_MaxElements(16), S_OK);
    ASSERT_EQ(Read(bytes, done), S_OK);
    EXPECT_EQ(done, VARIANT_TRUE);
    IZelArray* root = Root();
    ASSERT_NE(root, nullptr);
    LONG count = 0;
    root->get_Count(&count);
    EXPECT_EQ(count, 3);
    IZelVariable* last = nullptr;
    ASSERT_EQ(root->GetAt(2, &last), S_OK);
    IZelArray* group = nullptr;
    ASSERT_EQ(last->QueryInterface(IID_IZelArray, reinterpret_cast<void**>(&group)), S_OK);
    CZelBstr comment;
    group->get_Comment(comment.Out());
    EXPECT_EQ(std::u16string(comment.Get()), u"Gruppe");
    IZelVariable* element = nullptr;
    ASSERT_EQ(group->GetAt(3, &element), S_OK);
    IZelLong* number = nullptr;
    ASSERT_EQ(element->QueryInterface(IID_IZelLong, reinterpret_cast<void**>(&number)), S_OK);
    LONG value = 0;
    number->get_Value(&value);
    EXPECT_EQ(value, 23);
    IZelVariable* parent = nullptr;
    element->get_Parent(&parent);
    EXPECT_EQ(static_cast<void*>(parent), static_cast<void*>(group)) << "read elements know their array";
    for (IUnknown* object : {static_cast<IUnknown*>(parent), static_cast<IUnknown*>(number),
                             static_cast<IUnknown*>(element), static_cast<IUnknown*>(group),
                             static_cast<IUnknown*>(last), static_cast<IUnknown*>(root)})
        if (object != nullptr)
            object->Release();

    // Written back, it is the same bytes.
    CZelBstr out(Path("out.vrl"));
    ASSERT_EQ(builder->WriteFile(out.Get(), &done), S_OK);
    EXPECT_EQ(jextest::ReadFile(dir.File("out.vrl")), bytes);
}
