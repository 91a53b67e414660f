#include "test_support.h"

#include "forms/scale.h"

using forms::scale_modes::centimetres;
using forms::scale_modes::himetric;
using forms::scale_modes::inches;
using forms::scale_modes::millimetres;
using forms::scale_modes::pixels;
using forms::scale_modes::points;
using forms::scale_modes::twips;

namespace {

float convert(float length, std::int16_t from, std::int16_t to, forms::Axis axis = forms::Axis::Horizontal)
{
    return forms::must(forms::convert_scale(length, from, to, axis, 96.0));
}

// A window with one label and one image, to watch the runtime at work.
class Probe : public forms::Form {
public:
    Probe()
        : forms::Form(description())
    {
        on_click("Button", [this] { ++clicks; });
        on_click("Fail", [] { forms::raise({ 1004, "Application-defined error" }); });
    }
    static forms::WindowDesc description()
    {
        forms::WindowDesc desc;
        desc.name = "Probe";
        desc.client_width = 1500;
        desc.client_height = 1500;
        forms::ControlDesc button;
        button.kind = forms::ControlKind::Label;
        button.name = "Button";
        button.width = 300;
        button.height = 300;
        desc.controls.push_back(button);
        return desc;
    }
    void Form_Load() override { ++loads; }
    void Form_Unload(std::int16_t&) override { ++unloads; }
    int clicks { 0 }, loads { 0 }, unloads { 0 };
};

}

class ScaleConversion : public FreshRuntime { };

TEST_F(ScaleConversion, BetweenTheUnits)
{
    EXPECT_FLOAT_EQ(convert(9000, twips, pixels), 600);
    EXPECT_FLOAT_EQ(convert(5700, twips, pixels, forms::Axis::Vertical), 380);
    EXPECT_FLOAT_EQ(convert(1, inches, himetric), 2540);
    EXPECT_FLOAT_EQ(convert(72, points, twips), 1440);
    EXPECT_FLOAT_EQ(convert(10, millimetres, centimetres), 1);
    EXPECT_FLOAT_EQ(convert(96, pixels, inches), 1);
    EXPECT_FLOAT_EQ(convert(1000, himetric, millimetres), 10);
    EXPECT_FLOAT_EQ(convert(0, twips, himetric), 0);
    EXPECT_TRUE(forms::convert_scale(1, 0, twips, forms::Axis::Horizontal, 96).is_error());
    EXPECT_TRUE(forms::convert_scale(1, twips, 9, forms::Axis::Horizontal, 96).is_error());
    EXPECT_TRUE(forms::convert_scale(3.0e38f, inches, twips, forms::Axis::Horizontal, 96).is_error());
}

TEST_F(ScaleConversion, TheMainWindowInEveryMode)
{
    auto& window = start();
    for (std::int16_t mode : { twips, points, pixels, inches, millimetres, centimetres, himetric }) {
        ASSERT_FALSE(window.set_ScaleMode(mode).is_error());
        float width = forms::must(window.ScaleWidth());
        float height = forms::must(window.ScaleHeight());
        EXPECT_NEAR(forms::must(window.ScaleX(width, mode, pixels)), 600.0f, 0.01f) << mode;
        EXPECT_NEAR(forms::must(window.ScaleY(height, mode, pixels)), 380.0f, 0.01f) << mode;
    }
    EXPECT_TRUE(window.set_ScaleMode(0).is_error());
}

class WindowLifecycle : public FreshRuntime { };

TEST_F(WindowLifecycle, AnInstanceIsMadeWithoutLoadingAndLoadsOnce)
{
    forms::Instance<Probe> probe;
    EXPECT_FALSE(probe.exists());
    auto& form = probe.get();
    EXPECT_TRUE(probe.exists());
    EXPECT_FALSE(form.is_loaded());
    EXPECT_EQ(form.loads, 0);
    EXPECT_FALSE(form.Load().is_error());
    EXPECT_FALSE(form.Load().is_error());
    EXPECT_EQ(form.loads, 1);
    EXPECT_NE(form.hWnd(), 0u);
    EXPECT_EQ(host.created, std::vector<std::string> { "Probe" });
    probe.reset();
}

TEST_F(WindowLifecycle, UnloadDoesNothingToAWindowNotLoaded)
{
    Probe form;
    EXPECT_FALSE(form.Unload().is_error());
    EXPECT_EQ(form.unloads, 0);
    EXPECT_TRUE(host.quits.empty());
}

TEST_F(WindowLifecycle, TheLastUnloadEndsTheProgramWithStatusZero)
{
    Probe first, second;
    forms::must(first.set_Visible(true));
    forms::must(second.set_Visible(true));
    forms::must(first.Unload());
    EXPECT_TRUE(host.quits.empty());
    forms::must(second.Unload());
    EXPECT_EQ(host.quits, std::vector<int> { 0 });
    EXPECT_EQ(first.unloads, 1);
    // Loading again after an unload builds the window afresh.
    forms::Runtime::the().reset();
    forms::must(first.set_Visible(true));
    EXPECT_EQ(first.loads, 2);
    EXPECT_TRUE(first.Visible());
}

TEST_F(WindowLifecycle, ArrayElementsThatDoNotExistAreErrors)
{
    auto& window = start();
    EXPECT_TRUE(window.element("Image2", 448).is_error());
    EXPECT_TRUE(window.element("Image2", -1).is_error());
    EXPECT_TRUE(window.element("blue2", 0).is_error());
    EXPECT_FALSE(window.element("Image2", 447).is_error());
}

class RunTimeErrors : public FreshRuntime { };

TEST_F(RunTimeErrors, AnUnhandledErrorIsShownAndEndsTheProgram)
{
    Probe form;
    forms::must(form.set_Visible(true));
    forms::Runtime::the().menu_click(form, "Fail");
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], "Zorvane|Run-time error '1004':\n\nApplication-defined error");
    EXPECT_EQ(host.quits, std::vector<int> { 1 });
    EXPECT_EQ(forms::Runtime::the().exit_status(), 1);
    // Nothing more is dispatched once the program has ended.
    forms::Runtime::the().mouse_click(form, 5, 5);
    EXPECT_EQ(form.clicks, 0);
}

TEST_F(RunTimeErrors, EventsRunOneAtATimeAndPresentAfterwards)
{
    Probe form;
    forms::must(form.set_Visible(true));
    forms::Runtime::the().mouse_click(form, 5, 5);
    forms::Runtime::the().mouse_click(form, 25, 5);
    EXPECT_EQ(form.clicks, 1);
}
