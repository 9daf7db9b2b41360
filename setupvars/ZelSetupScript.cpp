#include "ZelSetupScript.h"

#include "jexvars/ZelComPtr.h"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

void SkipSpaces(const char16_t* text, size_t length, size_t& position)
{
    while (position < length && text[position] == u' ')
        ++position;
}

// The value text up to the next space or the end, as ASCII for strtod.
std::string Token(const char16_t* text, size_t length, size_t& position)
{
    std::string token;
    while (position < length && text[position] != u' ') {
        char16_t c = text[position++];
        token.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    return token;
}

// The leading decimal number of a token; none gives 0.
double LeadingNumber(const std::string& token, bool integer)
{
    std::string number;
    size_t i = 0;
    if (i < token.size() && (token[i] == '+' || token[i] == '-'))
        number.push_back(token[i++]);
    size_t digits = 0;
    while (i < token.size() && token[i] >= '0' && token[i] <= '9') {
        number.push_back(token[i++]);
        ++digits;
    }
    if (!integer) {
        if (i < token.size() && token[i] == '.') {
            number.push_back(token[i++]);
            while (i < token.size() && token[i] >= '0' && token[i] <= '9') {
                number.push_back(token[i++]);
                ++digits;
            }
        }
        if (digits > 0 && i < token.size() && (token[i] == 'e' || token[i] == 'E')) {
            std::string exponent(1, 'e');
            size_t j = i + 1;
            if (j < token.size() && (token[j] == '+' || token[j] == '-'))
                exponent.push_back(token[j++]);
            size_t expDigits = 0;
            while (j < token.size() && token[j] >= '0' && token[j] <= '9') {
                exponent.push_back(token[j++]);
                ++expDigits;
            }
            if (expDigits > 0)
                number += exponent;
        }
    }
    if (digits == 0)
        return 0.0;
    return std::strtod(number.c_str(), nullptr);
}

// Walks from the root down the positions; the element at the last one is
// asked for iid (null when a position is out of range or an element along
// the way is not an array).
template <class T>
CZelComPtr<T> Target(IZelVarBuilder* builder, const std::vector<int32_t>& positions, REFIID iid)
{
    CZelComPtr<IZelArray> array;
    if (FAILED(builder->get_RootArray(array.Out())))
        return CZelComPtr<T>();
    for (size_t i = 0; i < positions.size() && array; ++i) {
        LONG count = 0;
        array->get_Count(&count);
        CZelComPtr<IZelVariable> element;
        if (positions[i] < 0 || positions[i] >= count || FAILED(array->GetAt(positions[i], element.Out())))
            break;
        if (i + 1 == positions.size())
            return element.template As<T>(iid);
        array = element.template As<IZelArray>(IID_IZelArray);
    }
    return CZelComPtr<T>();
}

int32_t LongAt(const CZelFunc& call, size_t i)
{
    return static_cast<const CZelParamLong&>(*call.m_Params[i]).m_Value;
}

// The parameter's text; none for a null text.
CZelBstr NewText(const CZelParamString& param)
{
    return param.m_Null ? CZelBstr() : CZelBstr(param.m_Value);
}

CZelFunc Prototype(const char16_t* name, std::initializer_list<ZelCommandType> types)
{
    CZelFunc func;
    func.m_Name = name;
    for (ZelCommandType type : types) {
        if (type == ZelCommandLong)
            func.m_Params.push_back(std::make_unique<CZelParamLong>());
        else if (type == ZelCommandDouble)
            func.m_Params.push_back(std::make_unique<CZelParamDouble>());
        else
            func.m_Params.push_back(std::make_unique<CZelParamString>());
    }
    return func;
}

} // namespace

int32_t CZelParamLong::Copy(std::unique_ptr<CZelParam>& copy) const
{
    copy = std::make_unique<CZelParamLong>(*this);
    return 0;
}

int32_t CZelParamLong::Parse(const char16_t* text, size_t length, size_t& position)
{
    SkipSpaces(text, length, position);
    if (position >= length)
        return 1;
    double value = LeadingNumber(Token(text, length, position), true);
    // Out-of-range numbers are clamped to the 32-bit limits.
    if (value > std::numeric_limits<int32_t>::max())
        m_Value = std::numeric_limits<int32_t>::max();
    else if (value < std::numeric_limits<int32_t>::min())
        m_Value = std::numeric_limits<int32_t>::min();
    else
        m_Value = static_cast<int32_t>(value);
    return 0;
}

int32_t CZelParamDouble::Copy(std::unique_ptr<CZelParam>& copy) const
{
    copy = std::make_unique<CZelParamDouble>(*this);
    return 0;
}

int32_t CZelParamDouble::Parse(const char16_t* text, size_t length, size_t& position)
{
    SkipSpaces(text, length, position);
    if (position >= length)
        return 1;
    m_Value = LeadingNumber(Token(text, length, position), false);
    return 0;
}

int32_t CZelParamString::Copy(std::unique_ptr<CZelParam>& copy) const
{
    copy = std::make_unique<CZelParamString>(*this);
    return 0;
}

int32_t CZelParamString::Parse(const char16_t* text, size_t length, size_t& position)
{
    SkipSpaces(text, length, position);
    if (position >= length)
        return 1;
    size_t start = position;
    while (position < length && text[position] != u'^')
        ++position;
    m_Value.assign(text + start, position - start);
    m_Null = m_Value.empty();
    if (position < length)
        ++position;
    return 0;
}

CZelScript::CZelScript()
{
    const ZelCommandType L = ZelCommandLong, S = ZelCommandString, D = ZelCommandDouble;
    m_Table.push_back(Prototype(u"VarFileCreate", {S}));
    m_Table.push_back(Prototype(u"VarFileSave", {S}));
    m_Table.push_back(Prototype(u"VarFileLoad", {S}));
    m_Table.push_back(Prototype(u"ArrayI_ParamJ_SetAtLong", {L, L, L}));
    m_Table.push_back(Prototype(u"ArrayI_ParamJ_SetAtString", {L, L, S}));
    m_Table.push_back(Prototype(u"ParamSetAtLong", {L, L}));
    m_Table.push_back(Prototype(u"ParamSetAtDouble", {L, D}));
    m_Table.push_back(Prototype(u"ParamSetAtString", {L, S}));
    m_Table.push_back(Prototype(u"ArrayI_ArrayJ_ParamK_SetAtLong", {L, L, L, L}));
    m_Table.push_back(Prototype(u"ArrayI_ArrayJ_ParamK_SetAtDouble", {L, L, L, D}));
    m_Table.push_back(Prototype(u"ArrayI_ArrayJ_ParamK_SetAtString", {L, L, L, S}));
}

void CZelScript::Parse(const char16_t* text)
{
    m_Calls.clear();
    if (text == nullptr)
        return;
    size_t length = 0;
    while (text[length] != 0)
        ++length;
    size_t position = 0;
    SkipSpaces(text, length, position);
    while (position < length) {
        size_t start = position;
        while (position < length && text[position] != u' ')
            ++position;
        std::u16string token(text + start, position - start);
        // A token names the first command it is a prefix of.
        for (const CZelFunc& prototype : m_Table) {
            if (prototype.m_Name.compare(0, token.size(), token) != 0 || token.size() > prototype.m_Name.size())
                continue;
            auto call = std::make_unique<CZelFunc>();
            call->m_Name = prototype.m_Name;
            for (const auto& param : prototype.m_Params) {
                std::unique_ptr<CZelParam> copy;
                param->Copy(copy);
                call->m_Params.push_back(std::move(copy));
            }
            for (auto& param : call->m_Params)
                param->Parse(text, length, position);
            m_Calls.push_back(std::move(call));
            break;
        }
        SkipSpaces(text, length, position);
    }
}

int32_t CZelScript::Run(IZelVarBuilder* builder) const
{
    for (const auto& callPointer : m_Calls) {
        const CZelFunc& call = *callPointer;
        const std::u16string& name = call.m_Name;
        if (name == u"VarFileCreate") {
            CZelComPtr<IZelArray> array;
            if (SUCCEEDED(builder->ArrayCreate(array.Out())) && array)
                builder->put_RootArray(array.Get());
            CZelBstr file = NewText(static_cast<const CZelParamString&>(*call.m_Params[0]));
            if (file.Get() != nullptr) {
                VARIANT_BOOL done = VARIANT_FALSE;
                builder->WriteFile(file.Get(), &done);
            }
        } else if (name == u"VarFileSave" || name == u"VarFileLoad") {
            CZelBstr file = NewText(static_cast<const CZelParamString&>(*call.m_Params[0]));
            if (file.Get() == nullptr)
                return 1;
            VARIANT_BOOL done = VARIANT_FALSE;
            if (name == u"VarFileSave")
                builder->WriteFile(file.Get(), &done);
            else
                builder->ReadFile(file.Get(), &done);
            if (done == VARIANT_FALSE)
                return 1;
        } else {
            // Editing: the positions, then the value, which is the last
            // parameter; its type names the kind of element set.
            std::vector<int32_t> positions;
            for (size_t i = 0; i + 1 < call.m_Params.size(); ++i)
                positions.push_back(LongAt(call, i));
            const CZelParam& value = *call.m_Params.back();
            if (value.Type() == ZelCommandLong) {
                if (auto target = Target<IZelLong>(builder, positions, IID_IZelLong))
                    target->put_Value(static_cast<const CZelParamLong&>(value).m_Value);
            } else if (value.Type() == ZelCommandDouble) {
                if (auto target = Target<IZelDouble>(builder, positions, IID_IZelDouble))
                    target->put_Value(static_cast<const CZelParamDouble&>(value).m_Value);
            } else if (auto target = Target<IZelString>(builder, positions, IID_IZelString)) {
                CZelBstr text = NewText(static_cast<const CZelParamString&>(value));
                target->put_Value(text.Get());
            }
        }
    }
    return 0;
}
