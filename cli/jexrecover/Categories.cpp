#include "Categories.h"

#include "jexcommon/ZelText.h"
#include "jexvars/ZelVarsClient.h"

namespace {

// The texts of the array at position index of root; empty texts and
// elements that are no texts are skipped.
std::vector<std::string> TextsAt(IZelArray& root, LONG index)
{
    std::vector<std::string> texts;
    CZelComPtr<IZelArray> list = ZelArrayAt(root, index);
    if (!list)
        return texts;
    LONG count = 0;
    list->get_Count(&count);
    for (LONG i = 0; i < count; ++i) {
        std::u16string text;
        if (ZelTextAt(*list.Get(), i, text) && !text.empty())
            texts.push_back(ZelWideToNarrow(ZelUtf16ToWide(text.data(), text.size())));
    }
    return texts;
}

} // namespace

bool ZelReadCategories(const std::string& folder, std::map<std::string, std::vector<std::string>>& categories,
                       std::string& error)
{
    CZelComPtr<IZelVarBuilder> builder;
    if (!ZelLoadVarBuilder(folder, builder, error))
        return false;
    std::string path = folder + "/Params.vrl";
    CZelComPtr<IZelArray> root = ZelReadVrlFile(*builder.Get(), path);
    if (!root) {
        error = path + ": the category lists cannot be read";
        return false;
    }
    const char* names[] = {"documents", "audio", "images", "video"};
    for (LONG i = 0; i < 4; ++i)
        categories[names[i]] = TextsAt(*root.Get(), i + 1);
    return true;
}
