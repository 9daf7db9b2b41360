// The setup library's command scripts: parameters, calls and the script
// that parses a command text and runs it against one variable builder.
#pragma once

#include "jexvars/ZelVars.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum ZelCommandType : int32_t {
    ZelCommandLong = 0,
    ZelCommandString = 1,
    ZelCommandDouble = 2,
};

class CZelParam {
public:
    explicit CZelParam(ZelCommandType type) : m_Type(type) {}
    virtual ~CZelParam() = default;
    // A new parameter of the same class and value: 0, or 1 when memory runs
    // out.
    virtual int32_t Copy(std::unique_ptr<CZelParam>& copy) const = 0;
    // Takes the parameter's value from text at position: 0 when a value was
    // taken, 1 when the text ended before one.
    virtual int32_t Parse(const char16_t* text, size_t length, size_t& position) = 0;
    ZelCommandType Type() const { return m_Type; }

private:
    ZelCommandType m_Type;
};

class CZelParamLong : public CZelParam {
public:
    CZelParamLong() : CZelParam(ZelCommandLong) {}
    int32_t Copy(std::unique_ptr<CZelParam>& copy) const override;
    int32_t Parse(const char16_t* text, size_t length, size_t& position) override;
    int32_t m_Value = 0;
};

class CZelParamDouble : public CZelParam {
public:
    CZelParamDouble() : CZelParam(ZelCommandDouble) {}
    int32_t Copy(std::unique_ptr<CZelParam>& copy) const override;
    int32_t Parse(const char16_t* text, size_t length, size_t& position) override;
    double m_Value = 0.0;
};

class CZelParamString : public CZelParam {
public:
    CZelParamString() : CZelParam(ZelCommandString) {}
    int32_t Copy(std::unique_ptr<CZelParam>& copy) const override;
    int32_t Parse(const char16_t* text, size_t length, size_t& position) override;
    // Null (an empty value, "^" right away) is kept apart from empty.
    bool m_Null = false;
    std::u16string m_Value;
};

class CZelFunc {
public:
    CZelFunc() = default;
    CZelFunc(CZelFunc&&) = default;
    CZelFunc& operator=(CZelFunc&&) = default;
    virtual ~CZelFunc() = default;
    std::u16string m_Name;
    std::vector<std::unique_ptr<CZelParam>> m_Params;
};

class CZelScript {
public:
    CZelScript();
    // Parses the command text into calls (a null text gives none).
    void Parse(const char16_t* text);
    // Runs the calls against builder: 0, or 1 when a file command failed.
    int32_t Run(IZelVarBuilder* builder) const;
    const std::vector<std::unique_ptr<CZelFunc>>& Calls() const { return m_Calls; }

private:
    std::vector<std::unique_ptr<CZelFunc>> m_Calls;
    std::vector<CZelFunc> m_Table;
};
