#include "ProgramFolder.h"

#include "jexcommon/ZelText.h"
#include "jexvars/ZelVarsClient.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace apptest {

ProgramFolder::ProgramFolder(const std::vector<std::string>& leaveOut)
{
    for (const char* name : {"libJexFSCore.so", "libJexVars.so", "Lang.vrl", "Params.vrl"}) {
        if (std::find(leaveOut.begin(), leaveOut.end(), name) != leaveOut.end())
            continue;
        std::error_code failed;
        std::filesystem::create_symlink(std::string(JEX_BIN_DIR) + "/" + name, m_Dir.File(name), failed);
        EXPECT_FALSE(failed) << name << ": " << failed.message();
    }
}

namespace {

bool AddTree(IZelVarBuilder& builder, IZelArray& array, const std::vector<std::string>& items)
{
    for (const std::string& item : items) {
        if (item.size() > 1 && item[0] == '#') {
            CZelComPtr<IZelLong> number;
            if (FAILED(builder.LongCreate(number.Out())) || FAILED(number->put_Value(std::stol(item.substr(1)))) ||
                FAILED(array.Add(number.Get())))
                return false;
            continue;
        }
        CZelComPtr<IZelString> text;
        CZelBstr value(ZelNarrowToUtf16(item));
        if (FAILED(builder.StringCreate(text.Out())) || FAILED(text->put_Value(value.Get())) ||
            FAILED(array.Add(text.Get())))
            return false;
    }
    return true;
}

} // namespace

void ProgramFolder::WriteVrl(const std::string& name, const std::vector<std::vector<std::string>>& tree)
{
    CZelComPtr<IZelVarBuilder> builder;
    std::string error;
    ASSERT_TRUE(ZelLoadVarBuilder(JEX_BIN_DIR, builder, error)) << error;
    CZelComPtr<IZelArray> root;
    ASSERT_TRUE(SUCCEEDED(builder->ArrayCreate(root.Out())));
    for (const std::vector<std::string>& items : tree) {
        // A single item stands alone; more make a list.
        if (items.size() == 1) {
            ASSERT_TRUE(AddTree(*builder.Get(), *root.Get(), items));
            continue;
        }
        CZelComPtr<IZelArray> list;
        ASSERT_TRUE(SUCCEEDED(builder->ArrayCreate(list.Out())));
        ASSERT_TRUE(AddTree(*builder.Get(), *list.Get(), items));
        ASSERT_TRUE(SUCCEEDED(root->Add(list.Get())));
    }
    ASSERT_TRUE(SUCCEEDED(builder->put_RootArray(root.Get())));
    std::filesystem::remove(File(name));
    CZelBstr path(ZelNarrowToUtf16(File(name)));
    VARIANT_BOOL done = VARIANT_FALSE;
    ASSERT_TRUE(SUCCEEDED(builder->WriteFile(path.Get(), &done)) && done == VARIANT_TRUE) << name;
}

MessageRecorder::MessageRecorder()
{
    ZelSetMessagePresenter([this](QWidget*, const QString& text, const QString& caption, QMessageBox::Icon icon) {
        shown.push_back({text.toStdString(), caption.toStdString(), icon});
    });
}

MessageRecorder::~MessageRecorder()
{
    ZelSetMessagePresenter({});
}

} // namespace apptest
