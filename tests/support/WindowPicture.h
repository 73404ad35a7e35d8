#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <cstring>

namespace testsupport
{

//==============================================================================
/** What a window shows of a top-level component, painted without a display the way the Linux
    window peer paints it: one full paint, then each frame clears and repaints only the areas the
    component asked for since the frame before (the component's own repaint requests, its
    children's included), and copies them to the screen.

    The component must not have a cached image of its own: this installs one that notes the
    requested areas, and removes it again when destroyed.
*/
class WindowPicture
{
public:
    explicit WindowPicture (juce::Component& componentToShow)
        : component (componentToShow),
          recorder (new RepaintRecorder (componentToShow)),
          backBuffer (juce::Image::ARGB, componentToShow.getWidth(), componentToShow.getHeight(), true,
                      juce::SoftwareImageType()),
          screen (backBuffer.createCopy())
    {
        component.setCachedComponentImage (recorder);
        component.setVisible (true); // as its host shows it: hidden components ask for no repaints
        component.repaint();
        paintFrame();
    }

    ~WindowPicture() { component.setCachedComponentImage (nullptr); }

    /** Paints the areas requested since the last frame and copies them to the screen. */
    void paintFrame()
    {
        auto areas = recorder->takeRequestedAreas();
        areas.clipTo (component.getLocalBounds());
        lastFrameArea = areas.getBounds();

        if (areas.isEmpty())
            return;

        for (const auto& area : areas)
            backBuffer.clear (area);

        {
            juce::LowLevelGraphicsSoftwareRenderer context (backBuffer, {}, areas);
            juce::Graphics g (context);
            component.paintEntireComponent (g, true);
        }

        const juce::Image::BitmapData from (backBuffer, juce::Image::BitmapData::readOnly);
        const juce::Image::BitmapData to (screen, juce::Image::BitmapData::writeOnly);

        for (const auto& area : areas)
            for (int y = area.getY(); y < area.getBottom(); ++y)
                std::memcpy (to.getPixelPointer (area.getX(), y), from.getPixelPointer (area.getX(), y),
                             (size_t) (area.getWidth() * from.pixelStride));
    }

    const juce::Image& getScreen() const noexcept { return screen; }
    juce::Rectangle<int> getLastFrameArea() const noexcept { return lastFrameArea; }

private:
    //==============================================================================
    /** Notes the areas the component asks to repaint and paints nothing itself. */
    class RepaintRecorder final : public juce::CachedComponentImage
    {
    public:
        explicit RepaintRecorder (juce::Component& owner) : component (owner) {}

        void paint (juce::Graphics&) override {}
        bool invalidateAll() override
        {
            requested.add (component.getLocalBounds());
            return true;
        }
        bool invalidate (const juce::Rectangle<int>& area) override
        {
            requested.add (area);
            return true;
        }
        void releaseResources() override {}

        juce::RectangleList<int> takeRequestedAreas()
        {
            auto areas = requested;
            requested.clear();
            return areas;
        }

    private:
        juce::Component& component;
        juce::RectangleList<int> requested;
    };

    juce::Component& component;
    RepaintRecorder* recorder; // owned by the component while installed
    juce::Image backBuffer, screen;
    juce::Rectangle<int> lastFrameArea;

    JUCE_DECLARE_NON_COPYABLE (WindowPicture)
};

} // namespace testsupport
