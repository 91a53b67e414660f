#include "test_support.h"

#include "capture/commands.h"
#include "capture/print.h"
#include "forms/clipboard.h"
#include "forms/picture.h"
#include "forms/printer.h"
#include "forms/qt/qt_printer.h"
#include "forms/scale.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace errors = forms::errors;
namespace modes = forms::scale_modes;
using forms::must;

constexpr std::int16_t portrait = forms::orientations::portrait;
constexpr std::int16_t landscape = forms::orientations::landscape;

// A print destination that keeps what is drawn on it. Its drawing area is set
// in device pixels for portrait and turns with the page; the resolution of
// each axis stays.
class RecordingPrinter : public forms::PrinterDevice {
public:
    struct Draw {
        forms::Surface pixels;
        double x { 0 };
        double y { 0 };
        double width { 0 };
        double height { 0 };
        std::int16_t orientation { 0 };
    };
    struct Document {
        std::vector<Draw> draws;
        bool ended { false };
        bool aborted { false };
    };

    forms::ErrorOr<void> set_orientation(std::int16_t orientation) override
    {
        calls.push_back("orientation " + std::to_string(orientation));
        if (fail_orientation)
            return *fail_orientation;
        m_orientation = orientation;
        return {};
    }
    std::int16_t orientation() const override { return m_orientation; }
    forms::ErrorOr<double> drawable_width() const override
    {
        calls.push_back("width");
        return m_orientation == landscape ? portrait_height / vertical_dpi * horizontal_dpi : portrait_width;
    }
    forms::ErrorOr<double> drawable_height() const override
    {
        calls.push_back("height");
        return m_orientation == landscape ? portrait_width / horizontal_dpi * vertical_dpi : portrait_height;
    }
    double dpi_x() const override { return horizontal_dpi; }
    double dpi_y() const override { return vertical_dpi; }
    forms::ErrorOr<void> draw_image(forms::Surface const& pixels, double x, double y, double width, double height) override
    {
        calls.push_back("draw");
        if (fail_draw)
            return *fail_draw;
        if (!m_open) {
            documents.emplace_back();
            m_open = true;
        }
        documents.back().draws.push_back({ pixels, x, y, width, height, m_orientation });
        return {};
    }
    forms::ErrorOr<void> end_document() override
    {
        calls.push_back("end");
        if (fail_end)
            return *fail_end;
        if (m_open)
            documents.back().ended = true;
        m_open = false;
        return {};
    }
    void abort_document() override
    {
        if (!m_open)
            return;
        calls.push_back("abort");
        documents.back().aborted = true;
        m_open = false;
    }

    // Sizes in HIMETRIC at the device's resolution.
    void set_area_himetric(double width, double height)
    {
        portrait_width = width * horizontal_dpi / 2540.0;
        portrait_height = height * vertical_dpi / 2540.0;
    }

    bool document_open() const { return m_open; }
    std::vector<Draw> all_draws() const
    {
        std::vector<Draw> draws;
        for (auto const& document : documents)
            draws.insert(draws.end(), document.draws.begin(), document.draws.end());
        return draws;
    }

    double portrait_width { 4800 };
    double portrait_height { 6600 };
    double horizontal_dpi { 600 };
    double vertical_dpi { 600 };
    std::optional<forms::RuntimeError> fail_orientation;
    std::optional<forms::RuntimeError> fail_draw;
    std::optional<forms::RuntimeError> fail_end;
    mutable std::vector<std::string> calls;
    std::vector<Document> documents;

private:
    std::int16_t m_orientation { portrait };
    bool m_open { false };
};

class PrintingHost : public RecordingHost
    , public forms::PrinterPort {
public:
    PrintingHost() { set_printers(this); }

    forms::ErrorOr<forms::PrinterDevice*> default_printer() override
    {
        if (!has_printer)
            return forms::RuntimeError { errors::device_unavailable, "The printer is not available" };
        return &device;
    }

    RecordingPrinter device;
    bool has_printer { true };
};

// A picture of whole pixels; its HIMETRIC size is 2540/96 units a pixel.
forms::PictureRef picture_of_pixels(int width, int height)
{
    auto pixels = std::make_shared<forms::Surface>(width, height, forms::Rgb { 10, 20, 30 });
    return forms::make_picture(pixels);
}

forms::Surface striped(int width, int height)
{
    forms::Surface surface(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            surface.set_pixel(x, y, { std::uint8_t(x * 7), std::uint8_t(y * 13), std::uint8_t((x / 4 + y / 4) % 2 ? 255 : 0) });
    return surface;
}

class Printing : public FreshRuntime {
protected:
    void SetUp() override
    {
        FreshRuntime::SetUp();
        forms::Runtime::the().set_host(&printing);
        // The platform printer lives as long as the program; start each test in twips.
        must(must(forms::Printer())->set_ScaleMode(modes::twips));
    }

    RecordingPrinter& device() { return printing.device; }

    // Device pixels for a length in HIMETRIC.
    double across(double himetric) const { return himetric * printing.device.horizontal_dpi / 2540.0; }
    double down(double himetric) const { return himetric * printing.device.vertical_dpi / 2540.0; }

    // Runs the routine as the Print command does, returning the error it raised.
    std::optional<forms::RuntimeError> fit(forms::PictureRef picture)
    {
        try {
            capture::PrintPictureToFitPage(*must(forms::Printer()), picture);
        } catch (forms::RaisedError const& raised) {
            return raised.error();
        }
        return std::nullopt;
    }

    PrintingHost printing;
};

}

// The runtime's printer object in its own right.

TEST_F(Printing, PrinterIsOneObjectInTwipsUntilTold)
{
    EXPECT_EQ(must(forms::Printer()), must(forms::Printer()));
    forms::PrinterObject fresh;
    EXPECT_EQ(must(fresh.ScaleMode()), modes::twips);
}

TEST_F(Printing, DrawingAreaInEachScaleMode)
{
    device().portrait_width = 4960;
    device().portrait_height = 7016;
    device().horizontal_dpi = 600;
    device().vertical_dpi = 300;
    auto& printer = *must(forms::Printer());

    EXPECT_FLOAT_EQ(must(printer.ScaleWidth()), 4960.0f * 1440 / 600);
    EXPECT_FLOAT_EQ(must(printer.ScaleHeight()), 7016.0f * 1440 / 300);

    must(printer.set_ScaleMode(modes::pixels));
    EXPECT_FLOAT_EQ(must(printer.ScaleWidth()), 4960.0f);
    EXPECT_FLOAT_EQ(must(printer.ScaleHeight()), 7016.0f);

    must(printer.set_ScaleMode(modes::himetric));
    EXPECT_FLOAT_EQ(must(printer.ScaleWidth()), float(4960.0 * 2540 / 600));
    EXPECT_FLOAT_EQ(must(printer.ScaleHeight()), float(7016.0 * 2540 / 300));

    must(printer.set_ScaleMode(modes::points));
    EXPECT_FLOAT_EQ(must(printer.ScaleWidth()), 4960.0f * 72 / 600);

    // The page turned: the area read afterwards is the turned one.
    must(printer.set_Orientation(landscape));
    EXPECT_EQ(must(printer.Orientation()), landscape);
    EXPECT_FLOAT_EQ(must(printer.ScaleWidth()), 7016.0f * 72 / 300);
    EXPECT_FLOAT_EQ(must(printer.ScaleHeight()), 4960.0f * 72 / 600);
}

TEST_F(Printing, ConversionsUseTheDevicesOwnPixels)
{
    device().horizontal_dpi = 600;
    device().vertical_dpi = 300;
    auto& printer = *must(forms::Printer());
    EXPECT_FLOAT_EQ(must(printer.ScaleX(1440, modes::twips, modes::pixels)), 600.0f);
    EXPECT_FLOAT_EQ(must(printer.ScaleY(1440, modes::twips, modes::pixels)), 300.0f);
    EXPECT_FLOAT_EQ(must(printer.ScaleX(600, modes::pixels, modes::himetric)), 2540.0f);
    EXPECT_FLOAT_EQ(must(printer.ScaleY(600, modes::pixels, modes::himetric)), 5080.0f);
    EXPECT_FLOAT_EQ(must(printer.ScaleX(2540, modes::himetric, modes::twips)), 1440.0f);
}

TEST_F(Printing, InvalidSettingsAreRefusedAndChangeNothing)
{
    auto& printer = *must(forms::Printer());
    for (std::int16_t mode : { std::int16_t(0), std::int16_t(9), std::int16_t(-1) }) {
        auto result = printer.set_ScaleMode(mode);
        ASSERT_TRUE(result.is_error()) << mode;
        EXPECT_EQ(result.error().number, errors::invalid_procedure_call);
    }
    EXPECT_EQ(must(printer.ScaleMode()), modes::twips);

    auto result = printer.set_Orientation(3);
    ASSERT_TRUE(result.is_error());
    EXPECT_EQ(result.error().number, errors::invalid_procedure_call);
    EXPECT_EQ(must(printer.Orientation()), portrait);
}

TEST_F(Printing, PaintPictureTakesTheRectangleInTheCurrentScale)
{
    device().horizontal_dpi = 600;
    device().vertical_dpi = 300;
    auto& printer = *must(forms::Printer());
    auto picture = forms::make_picture(std::make_shared<forms::Surface>(striped(30, 20)));

    must(printer.PaintPicture(picture, 720, 1440, 2880.0, 1440.0));
    must(printer.set_ScaleMode(modes::pixels));
    must(printer.PaintPicture(picture, 0, 0, 123.5, 45.25));
    must(printer.EndDoc());

    ASSERT_EQ(device().documents.size(), 1u);
    auto const& document = device().documents[0];
    EXPECT_TRUE(document.ended);
    ASSERT_EQ(document.draws.size(), 2u);
    auto const& first = document.draws[0];
    EXPECT_EQ(first.pixels, striped(30, 20));
    EXPECT_DOUBLE_EQ(first.x, 300);
    EXPECT_DOUBLE_EQ(first.y, 300);
    EXPECT_DOUBLE_EQ(first.width, 1200);
    EXPECT_DOUBLE_EQ(first.height, 300);
    EXPECT_DOUBLE_EQ(document.draws[1].width, 123.5);
    EXPECT_DOUBLE_EQ(document.draws[1].height, 45.25);
}

TEST_F(Printing, EndDocWithNothingDrawnSendsNoPage)
{
    auto& printer = *must(forms::Printer());
    must(printer.EndDoc());
    EXPECT_TRUE(device().documents.empty());
}

TEST_F(Printing, PaintPictureWantsAPicture)
{
    auto& printer = *must(forms::Printer());
    auto result = printer.PaintPicture(nullptr, 0, 0, 100, 100);
    ASSERT_TRUE(result.is_error());
    EXPECT_EQ(result.error().number, errors::object_required);

    auto lost = std::make_shared<forms::Picture>(forms::Handle(0xdead), 0, false);
    result = printer.PaintPicture(lost, 0, 0, 100, 100);
    ASSERT_TRUE(result.is_error());
    EXPECT_EQ(result.error().number, errors::invalid_picture);
    EXPECT_TRUE(device().documents.empty());
}

TEST_F(Printing, WithoutADestinationTheDeviceOperationsFail)
{
    printing.has_printer = false;
    auto& printer = *must(forms::Printer());
    auto picture = picture_of_pixels(10, 10);

    // The scale mode is the object's own and needs no destination.
    must(printer.set_ScaleMode(modes::himetric));
    EXPECT_EQ(must(printer.ScaleMode()), modes::himetric);

    auto expect_unavailable = [](auto const& result) {
        ASSERT_TRUE(result.is_error());
        EXPECT_EQ(result.error().number, errors::device_unavailable);
    };
    expect_unavailable(printer.set_Orientation(landscape));
    expect_unavailable(printer.Orientation());
    expect_unavailable(printer.ScaleWidth());
    expect_unavailable(printer.ScaleHeight());
    expect_unavailable(printer.PaintPicture(picture, 0, 0, 10, 10));
    expect_unavailable(printer.EndDoc());
    EXPECT_TRUE(device().calls.empty());
}

// Fit to page.

namespace {

struct Mode {
    std::int16_t scale_mode;
    double horizontal_dpi;
    double vertical_dpi;
};

std::string mode_name(testing::TestParamInfo<Mode> const& info)
{
    std::string name;
    switch (info.param.scale_mode) {
    case modes::himetric:
        name = "Himetric";
        break;
    case modes::twips:
        name = "Twips";
        break;
    case modes::pixels:
        name = "Pixels";
        break;
    case modes::points:
        name = "Points";
        break;
    case modes::inches:
        name = "Inches";
        break;
    default:
        name = "Mode" + std::to_string(info.param.scale_mode);
    }
    return name + "At" + std::to_string(int(info.param.horizontal_dpi)) + "x" + std::to_string(int(info.param.vertical_dpi));
}

}

class FitToPage : public Printing, public testing::WithParamInterface<Mode> {
protected:
    void SetUp() override
    {
        Printing::SetUp();
        device().horizontal_dpi = GetParam().horizontal_dpi;
        device().vertical_dpi = GetParam().vertical_dpi;
        must(must(forms::Printer())->set_ScaleMode(GetParam().scale_mode));
    }

    // The one draw, in HIMETRIC.
    void expect_drawn(double width, double height, std::int16_t orientation)
    {
        auto draws = device().all_draws();
        ASSERT_EQ(draws.size(), 1u);
        auto const& draw = draws[0];
        EXPECT_EQ(draw.orientation, orientation);
        EXPECT_EQ(draw.x, 0.0);
        EXPECT_EQ(draw.y, 0.0);
        double tolerance = 1e-5 * std::max(1.0, across(std::max(width, height)));
        EXPECT_NEAR(draw.width, across(width), tolerance);
        EXPECT_NEAR(draw.height, down(height), tolerance);
    }
};

TEST_P(FitToPage, WiderPictureIsBoundByTheWidth)
{
    // 2540 x 1270 HIMETRIC, ratio 2, on a landscape area of 260 x 190.
    device().set_area_himetric(190, 260);
    EXPECT_FALSE(fit(picture_of_pixels(96, 48)));
    expect_drawn(260, 130, landscape);
    // The routine leaves the document open for the command to end.
    EXPECT_TRUE(device().document_open());
}

TEST_P(FitToPage, TallerPictureIsBoundByTheHeight)
{
    device().set_area_himetric(190, 260);
    EXPECT_FALSE(fit(picture_of_pixels(48, 96)));
    expect_drawn(130, 260, portrait);
}

TEST_P(FitToPage, EqualRatiosTakeTheWidthBound)
{
    device().set_area_himetric(130, 260);
    EXPECT_FALSE(fit(picture_of_pixels(96, 48)));
    expect_drawn(260, 130, landscape);
}

TEST_P(FitToPage, PictureOfNoWidthIsAFullHeightLine)
{
    device().set_area_himetric(190, 260);
    EXPECT_FALSE(fit(picture_of_pixels(0, 96)));
    expect_drawn(0, 260, portrait);
}

TEST_P(FitToPage, DrawingAreaOfNoWidthDrawsNothingVisible)
{
    device().portrait_width = 0;
    device().portrait_height = 1000;
    EXPECT_FALSE(fit(picture_of_pixels(48, 96)));
    expect_drawn(0, 0, portrait);
}

TEST_P(FitToPage, MainWindowCaptureFillsALandscapePage)
{
    // An A4 sheet at the device's resolution.
    device().set_area_himetric(21000, 29700);
    auto& window = start();
    auto capture = forms::make_picture(std::make_shared<forms::Surface>(window.surface()));
    ASSERT_EQ(capture->Width(), forms::pixels_to_himetric(600));
    ASSERT_EQ(capture->Height(), forms::pixels_to_himetric(380));
    EXPECT_FALSE(fit(capture));
    double ratio = double(capture->Width()) / capture->Height();
    expect_drawn(29700, 29700 / ratio, landscape);
}

INSTANTIATE_TEST_SUITE_P(ScaleModes, FitToPage,
    testing::Values(Mode { modes::himetric, 2540, 2540 }, Mode { modes::twips, 2540, 2540 }, Mode { modes::pixels, 2540, 2540 },
        Mode { modes::himetric, 600, 300 }, Mode { modes::twips, 600, 300 }, Mode { modes::pixels, 600, 300 },
        Mode { modes::points, 1200, 1200 }, Mode { modes::inches, 96, 72 }),
    mode_name);

TEST_F(Printing, OrientationFollowsTheShape)
{
    struct Case {
        int width;
        int height;
        std::int16_t orientation;
    };
    for (auto [width, height, orientation] : { Case { 40, 40, portrait }, Case { 41, 40, landscape }, Case { 40, 41, portrait },
             Case { 0, 40, portrait }, Case { 1, 0, landscape }, Case { 0, 0, portrait } }) {
        device().calls.clear();
        (void)fit(picture_of_pixels(width, height));
        ASSERT_FALSE(device().calls.empty());
        EXPECT_EQ(device().calls[0], "orientation " + std::to_string(orientation)) << width << " x " << height;
    }
}

TEST_F(Printing, OrientationIsSetEveryTimeBeforeTheAreaIsRead)
{
    must(must(forms::Printer())->set_Orientation(landscape));
    device().calls.clear();
    EXPECT_FALSE(fit(picture_of_pixels(30, 60)));
    EXPECT_FALSE(fit(picture_of_pixels(60, 30)));
    std::vector<std::string> once { "width", "height", "draw" };
    std::vector<std::string> expected { "orientation 1" };
    expected.insert(expected.end(), once.begin(), once.end());
    expected.push_back("orientation 2");
    expected.insert(expected.end(), once.begin(), once.end());
    EXPECT_EQ(device().calls, expected);
}

TEST_F(Printing, PictureOfNoHeightRaisesTheFloatingPointErrorAfterTurningThePage)
{
    for (auto [width, orientation] : { std::pair { 10, landscape }, std::pair { 0, portrait } }) {
        device().calls.clear();
        auto error = fit(picture_of_pixels(width, 0));
        ASSERT_TRUE(error);
        EXPECT_EQ(error->number, errors::overflow);
        EXPECT_EQ(device().calls, std::vector<std::string> { "orientation " + std::to_string(orientation) });
    }
    EXPECT_TRUE(device().documents.empty());
}

TEST_F(Printing, DrawingAreaOfNoHeightRaisesTheFloatingPointError)
{
    for (double width : { 1000.0, 0.0 }) {
        device().portrait_width = width;
        device().portrait_height = 0;
        device().calls.clear();
        auto error = fit(picture_of_pixels(30, 60));
        ASSERT_TRUE(error);
        EXPECT_EQ(error->number, errors::overflow);
        EXPECT_EQ(device().calls, (std::vector<std::string> { "orientation 1", "width", "height" }));
    }
    EXPECT_TRUE(device().documents.empty());
}

TEST_F(Printing, FailingPrinterOperationStopsTheRoutineThere)
{
    forms::Runtime::the().fail_operation(forms::FaultPoint::printer_scale_height);
    auto error = fit(picture_of_pixels(60, 30));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number, 7);
    EXPECT_EQ(device().orientation(), landscape);
    EXPECT_TRUE(device().documents.empty());

    device().fail_draw = forms::RuntimeError { errors::printer_error, "Printer error" };
    error = fit(picture_of_pixels(60, 30));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number, errors::printer_error);
}

TEST_F(Printing, ScaleModeIsReadForEachOfTheFourConversions)
{
    // The fourth read fails: the routine stops before drawing.
    forms::Runtime::the().fail_operation(forms::FaultPoint::printer_scale_mode, 3);
    auto error = fit(picture_of_pixels(60, 30));
    ASSERT_TRUE(error);
    EXPECT_TRUE(device().documents.empty());

    // A fifth read would fail; there is none.
    forms::Runtime::the().fail_operation(forms::FaultPoint::printer_scale_mode, 4);
    EXPECT_FALSE(fit(picture_of_pixels(60, 30)));
    EXPECT_EQ(device().all_draws().size(), 1u);
}

TEST_F(Printing, MissingPictureIsAnObjectError)
{
    auto error = fit(nullptr);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number, errors::object_required);
    EXPECT_TRUE(device().calls.empty());
}

// File > Print.

class PrintCommand : public Printing {
protected:
    void SetUp() override
    {
        Printing::SetUp();
        device().set_area_himetric(20000, 28700);
    }

    void print() { menu("print1"); }

    static void expect_goes_on()
    {
        EXPECT_FALSE(forms::Runtime::the().finished());
        // The board still takes clicks.
        menu("green1");
        click_socket(30);
        EXPECT_EQ(socket(30).held_picture(), board::tarvo1->control("green2").held_picture());
    }
};

TEST_F(PrintCommand, PrintsTheClientAreaOnOneLandscapePage)
{
    auto& window = start();
    menu("red1");
    click_socket(0);
    click_socket(447);
    auto handles_before = forms::handles().size();

    print();

    ASSERT_EQ(device().documents.size(), 1u);
    auto const& document = device().documents[0];
    EXPECT_TRUE(document.ended);
    ASSERT_EQ(document.draws.size(), 1u);
    auto const& draw = document.draws[0];
    EXPECT_EQ(draw.pixels, window.surface());
    EXPECT_EQ(draw.pixels.width(), 600);
    EXPECT_EQ(draw.pixels.height(), 380);
    EXPECT_EQ(draw.orientation, landscape);
    EXPECT_EQ(draw.x, 0.0);
    EXPECT_EQ(draw.y, 0.0);
    EXPECT_NEAR(draw.width, across(28700), 0.01);
    EXPECT_NEAR(draw.height, down(28700 * 380.0 / 600.0), 1.0);

    // The capture stays on the clipboard; no picture outlives the command.
    ASSERT_TRUE(printing.clipboard);
    EXPECT_EQ(*printing.clipboard, window.surface());
    EXPECT_EQ(forms::handles().size(), handles_before);
    EXPECT_TRUE(printing.messages.empty());
    EXPECT_FALSE(forms::Runtime::the().finished());
}

TEST_F(PrintCommand, ReplacesWhatTheClipboardHeld)
{
    auto& window = start();
    printing.clipboard = std::make_shared<forms::Surface>(striped(8, 8));
    print();
    ASSERT_TRUE(printing.clipboard);
    EXPECT_EQ(*printing.clipboard, window.surface());
    EXPECT_EQ(printing.clipboard_clears, 1);
}

TEST_F(PrintCommand, TwoPrintsAreTwoDocuments)
{
    auto& window = start();
    print();
    menu("blue1");
    click_socket(5);
    print();

    ASSERT_EQ(device().documents.size(), 2u);
    for (auto const& document : device().documents) {
        EXPECT_TRUE(document.ended);
        EXPECT_EQ(document.draws.size(), 1u);
    }
    EXPECT_NE(device().documents[0].draws[0].pixels, device().documents[1].draws[0].pixels);
    EXPECT_EQ(device().documents[1].draws[0].pixels, window.surface());
    EXPECT_EQ(*printing.clipboard, window.surface());
    EXPECT_EQ(std::count(device().calls.begin(), device().calls.end(), "end"), 2);
}

TEST_F(PrintCommand, NoPrinterShowsTheErrorAndTheProgramGoesOn)
{
    auto& window = start();
    printing.has_printer = false;
    printing.clipboard = std::make_shared<forms::Surface>(striped(8, 8));
    auto handles_before = forms::handles().size();

    print();

    ASSERT_EQ(printing.messages.size(), 1u);
    EXPECT_NE(printing.messages[0].find(std::to_string(errors::device_unavailable)), std::string::npos);
    // Failing after the hand-over leaves the capture on the clipboard.
    ASSERT_TRUE(printing.clipboard);
    EXPECT_EQ(*printing.clipboard, window.surface());
    EXPECT_EQ(forms::handles().size(), handles_before);
    expect_goes_on();

    printing.has_printer = true;
    print();
    EXPECT_EQ(device().documents.size(), 1u);
}

TEST_F(PrintCommand, FloatingPointErrorIsShownAndNoDocumentEnded)
{
    start();
    device().portrait_width = 0;
    device().portrait_height = 0;
    print();
    ASSERT_EQ(printing.messages.size(), 1u);
    EXPECT_NE(printing.messages[0].find("'" + std::to_string(errors::overflow) + "'"), std::string::npos);
    EXPECT_TRUE(device().documents.empty());
    EXPECT_EQ(std::count(device().calls.begin(), device().calls.end(), "end"), 0);
    expect_goes_on();
}

TEST_F(PrintCommand, FailureBeforeTheHandOverPrintsNothing)
{
    start();
    auto earlier = std::make_shared<forms::Surface>(striped(8, 8));

    // Clearing fails: the clipboard keeps what it had.
    printing.clipboard = earlier;
    forms::Runtime::the().fail_operation(forms::FaultPoint::clipboard_clear);
    print();
    ASSERT_TRUE(printing.clipboard);
    EXPECT_EQ(*printing.clipboard, *earlier);

    // The hand-over fails: the clipboard was cleared and stays empty.
    forms::Runtime::the().fail_operation(forms::FaultPoint::clipboard_set_data);
    print();
    EXPECT_FALSE(printing.clipboard);

    EXPECT_EQ(printing.messages.size(), 2u);
    EXPECT_TRUE(device().calls.empty());
    expect_goes_on();
}

TEST_F(PrintCommand, FailingDrawOrEndIsShownAndReleasesEverything)
{
    auto& window = start();
    auto handles_before = forms::handles().size();

    device().fail_draw = forms::RuntimeError { errors::printer_error, "Printer error" };
    print();
    device().fail_draw.reset();
    device().fail_end = forms::RuntimeError { errors::printer_error, "Printer error" };
    print();

    ASSERT_EQ(printing.messages.size(), 2u);
    for (auto const& message : printing.messages)
        EXPECT_NE(message.find(std::to_string(errors::printer_error)), std::string::npos);
    EXPECT_EQ(*printing.clipboard, window.surface());
    EXPECT_EQ(forms::handles().size(), handles_before);
    expect_goes_on();
}

TEST_F(PrintCommand, FailingTheLastFetchLeavesThePageUnsent)
{
    start();
    // Step 9 fetches the printer again; failing that fetch leaves the page unsent.
    forms::Runtime::the().fail_operation(forms::FaultPoint::printer, 1);
    print();
    ASSERT_EQ(printing.messages.size(), 1u);
    ASSERT_EQ(device().documents.size(), 1u);
    EXPECT_FALSE(device().documents[0].ended);
    // The page is dropped, and the next Print draws into a document of its own.
    EXPECT_TRUE(device().documents[0].aborted);
    print();
    ASSERT_EQ(device().documents.size(), 2u);
    EXPECT_EQ(device().documents[1].draws.size(), 1u);
    EXPECT_TRUE(device().documents[1].ended);
}

TEST(PrintSystem, WithoutTheLibrarysCallsAJobCountsAsTakenAndTheServerAsAnswering)
{
    // Nothing can be asked then: the toolkit's own lookups decide alone.
    EXPECT_FALSE(forms::qt::refused_job(nullptr).has_value());
    EXPECT_TRUE(forms::qt::print_server_answers(nullptr));
}
