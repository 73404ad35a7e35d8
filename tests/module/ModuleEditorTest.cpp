// The built VST3 module's editor, opened in a real host window on an X display (the CTest entry
// starts a virtual one), while audio runs on a thread of its own as in a DAW.

#include "HostEditorWindow.h"
#include "PluginLoader.h"
#include "RealtimePlayer.h"
#include "XWindowProbe.h"

#include <gtest/gtest.h>

namespace
{
constexpr double sampleRate = 48000.0;
constexpr int blockSize = 512;
constexpr int editorWidth = 900, editorHeight = 600;

void runMessageLoopFor (int milliseconds) { juce::MessageManager::getInstance()->runDispatchLoopUntil (milliseconds); }

/** The descendants of the host window that have the editor's size and are on screen: the
    embedding window and the module's own editor window inside it. */
std::vector<xprobe::WindowInfo> editorSizedViewableWindows (const juce::Component& hostWindow)
{
    std::vector<xprobe::WindowInfo> matching;

    for (const auto& window :
         xprobe::descendantsOf ((unsigned long) (juce::pointer_sized_uint) hostWindow.getWindowHandle()))
        if (window.viewable && window.width == editorWidth && window.height == editorHeight)
            matching.push_back (window);

    return matching;
}
} // namespace

//==============================================================================
class ModuleEditor : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { displayAvailable = xprobe::installIgnoringErrorHandler(); }

    void SetUp() override
    {
        ASSERT_TRUE (displayAvailable) << "no X display: run this under Xvfb (see tests/with_xvfb.sh)";

        hostkit::PluginLoader loader ((juce::File (VORLAN_VST3_BUNDLE)));
        juce::String error;
        plugin = loader.createInstance (sampleRate, blockSize, error);
        ASSERT_NE (plugin, nullptr) << error;
        ASSERT_TRUE (plugin->hasEditor());
        plugin->prepareToPlay (sampleRate, blockSize);
    }

    void TearDown() override
    {
        if (plugin != nullptr)
            plugin->releaseResources();

        plugin.reset();
        runMessageLoopFor (100); // messages the instance left behind must not reach freed objects
    }

    static inline bool displayAvailable = false;
    std::unique_ptr<juce::AudioPluginInstance> plugin;
};

TEST_F (ModuleEditor, ShowsTheModulesOwnWindowAt900By600AndShutsDownCleanlyWhilePlaying)
{
    hostkit::RealtimePlayer audio (*plugin, sampleRate, blockSize);
    auto window = std::make_unique<hostkit::HostEditorWindow> (plugin->createEditorIfNeeded());
    ASSERT_NE (window->getContentComponent(), nullptr);
    EXPECT_EQ (window->getContentComponent()->getWidth(), editorWidth);
    EXPECT_EQ (window->getContentComponent()->getHeight(), editorHeight);

    runMessageLoopFor (1000); // about thirty animation frames of a rising note

    // The host's embedding window and, inside it, the module's editor window, both mapped.
    const auto windows = editorSizedViewableWindows (*window);
    ASSERT_GE (windows.size(), 2u);
    EXPECT_GT (windows.back().depth, windows.front().depth);

    window.reset();
    EXPECT_EQ (plugin->getActiveEditor(), nullptr);
    runMessageLoopFor (100);

    audio.stop();
    EXPECT_GT (audio.getBlocksRendered(), 20);
    EXPECT_TRUE (audio.getLevels().allFinite);
    EXPECT_FALSE (audio.getLevels().allZero);
    EXPECT_LE (audio.getLevels().peak, 1.0f);
}

TEST_F (ModuleEditor, OpensAndClosesRepeatedlyOnOneInstance)
{
    for (int round = 0; round < 5; ++round)
    {
        SCOPED_TRACE (round);
        hostkit::HostEditorWindow window (plugin->createEditorIfNeeded());
        runMessageLoopFor (200);
        EXPECT_GE (editorSizedViewableWindows (window).size(), 2u);
    }

    EXPECT_EQ (plugin->getActiveEditor(), nullptr);
}
