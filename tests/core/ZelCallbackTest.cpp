#include "jexfscore/ZelCallback.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class Recorder {
public:
    void Progress(double value) { seen.push_back(value); }
    int Twice(int value) { return 2 * value; }
    std::vector<double> seen;
};

} // namespace

TEST(ZelCallback, WrapperForwardsOnlyWhenComplete)
{
    Recorder recorder;
    auto progress = boost::make_shared<CZelCallbackWrapperRT<Recorder, void, double>>(&Recorder::Progress, &recorder);
    CZelProgressCallbackPtr asInterface = progress;
    asInterface->Fire(0.25);
    asInterface->Fire(1.0);
    EXPECT_EQ(recorder.seen, (std::vector<double>{0.25, 1.0}));

    progress->m_pTarget = nullptr;
    asInterface->Fire(0.5);
    EXPECT_EQ(recorder.seen.size(), 2u);

    CZelCallbackWrapperRT<Recorder, int, int> twice(&Recorder::Twice, &recorder);
    EXPECT_EQ(twice.Fire(21), 42);
    CZelCallbackWrapperRT<Recorder, int, int> unset;
    EXPECT_EQ(unset.Fire(21), 0);
}

TEST(ZelCallback, DefaultProgressCallbackAcceptsProgress)
{
    ASSERT_TRUE(ZelDefaultProgressCallback);
    ZelDefaultProgressCallback->Fire(0.5);
    ZelDefaultProgressCallback->Fire(1.0);
}
