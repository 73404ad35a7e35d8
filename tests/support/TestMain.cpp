#include <juce_events/juce_events.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <gtest/gtest.h>

namespace
{
/** Keeps a message manager alive for the whole run: parameters, attachments and editors need one. */
class JuceEnvironment final : public ::testing::Environment
{
public:
    void SetUp() override { initialiser = std::make_unique<juce::ScopedJuceInitialiser_GUI>(); }
    void TearDown() override { initialiser.reset(); }

private:
    std::unique_ptr<juce::ScopedJuceInitialiser_GUI> initialiser;
};
} // namespace

int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);
    ::testing::AddGlobalTestEnvironment (new JuceEnvironment());
    return RUN_ALL_TESTS();
}
