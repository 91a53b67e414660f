#include "test_support.h"

#include "capture/capture.h"
#include "forms/bmp.h"
#include "forms/clipboard.h"
#include "forms/scale.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

// A host whose windows have a 24-pixel menu band above the client area.
class FramedHost : public RecordingHost {
public:
    forms::Rect client_in_window(forms::Form& form) const override
    {
        return { 0, 24, form.client_pixel_width(), form.client_pixel_height() };
    }
    forms::Surface window_frame(forms::Form& form) const override
    {
        return forms::Surface(form.client_pixel_width(), form.client_pixel_height() + 24, { 200, 200, 200 });
    }
};

std::vector<std::uint8_t> read_file(fs::path const& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), {} };
}

class TempFolder {
public:
    TempFolder()
    {
        char name[] = "/tmp/zorvane-test-XXXXXX";
        m_path = mkdtemp(name);
    }
    ~TempFolder() { fs::remove_all(m_path); }
    fs::path const& path() const { return m_path; }

private:
    fs::path m_path;
};

}

class Capture : public FreshRuntime { };

TEST_F(Capture, TheClientAreaPixelForPixel)
{
    auto& window = start();
    menu("red1");
    click_socket(0);
    click_socket(447);
    auto picture = capture::CaptureClient(window);
    ASSERT_NE(picture, nullptr);
    ASSERT_NE(picture->pixels(), nullptr);
    EXPECT_EQ(picture->pixel_width(), 600);
    EXPECT_EQ(picture->pixel_height(), 380);
    EXPECT_EQ(*picture->pixels(), window.surface());
    EXPECT_EQ(picture->hPal(), 0u);
    EXPECT_EQ(picture->Width(), forms::pixels_to_himetric(600));
    // Whatever scale the form uses, the capture is of its pixels.
    ASSERT_FALSE(window.set_ScaleMode(forms::scale_modes::himetric).is_error());
    auto again = capture::CaptureClient(window);
    EXPECT_EQ(*again->pixels(), window.surface());
}

TEST_F(Capture, TheWholeWindowWithTheClientOffsetsGivesTheSamePixels)
{
    FramedHost framed;
    forms::Runtime::the().set_host(&framed);
    auto& window = start();
    click_socket(30);
    auto whole = capture::CaptureWindow(window.hWnd(), 0, 0, 24, 600, 380);
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(*whole->pixels(), window.surface());
    auto with_frame = capture::CaptureWindow(window.hWnd(), 0, 0, 0, 600, 404);
    EXPECT_EQ(with_frame->pixels()->pixel(3, 3), (forms::Rgb { 200, 200, 200 }));
    EXPECT_EQ(with_frame->pixels()->pixel(5, 29), window.surface().pixel(5, 5));
    board::tarvo1.reset();
    forms::Runtime::the().set_host(&host);
}

TEST_F(Capture, HalfwaySizesGoToTheEvenNumber)
{
    EXPECT_EQ(forms::must(forms::round_to_int32(600.5f)), 600);
    EXPECT_EQ(forms::must(forms::round_to_int32(601.5f)), 602);
    EXPECT_EQ(forms::must(forms::round_to_int32(-0.5f)), 0);
    EXPECT_EQ(forms::must(forms::round_to_int32(379.6f)), 380);
    EXPECT_TRUE(forms::round_to_int32(3.0e9f).is_error());
}

TEST_F(Capture, APaletteDisplayGivesTheSystemPalette)
{
    auto& window = start();
    std::array<forms::PaletteEntry, 256> system {};
    for (int i = 0; i < 256; ++i)
        system[std::size_t(i)] = { std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i / 2), 0 };
    forms::set_display_palette(system);
    auto picture = capture::CaptureClient(window);
    ASSERT_NE(picture->hPal(), 0u);
    auto* palette = forms::handles().get<forms::PaletteObject>(picture->hPal());
    ASSERT_NE(palette, nullptr);
    EXPECT_EQ(palette->count, 256);
    EXPECT_EQ(palette->entries, system);
    EXPECT_EQ(*picture->pixels(), window.surface());

    forms::set_display_palette(std::nullopt);
    EXPECT_EQ(capture::CaptureClient(window)->hPal(), 0u);
}

TEST_F(Capture, EveryCaptureOwnsNewHandlesAndGivesThemBack)
{
    auto& window = start();
    std::array<forms::PaletteEntry, 256> system {};
    forms::set_display_palette(system);
    auto& table = forms::handles();
    auto objects = table.size();
    {
        auto first = capture::CaptureClient(window);
        auto second = capture::CaptureClient(window);
        EXPECT_NE(first->Handle(), second->Handle());
        EXPECT_NE(first->hPal(), second->hPal());
        EXPECT_EQ(table.count<forms::DcObject>(), 0u);
        EXPECT_EQ(table.size(), objects + 4);
    }
    EXPECT_EQ(table.size(), objects);
}

TEST_F(Capture, TheRectangleIsNeitherTestedNorClipped)
{
    auto& window = start();
    auto& table = forms::handles();
    auto objects = table.size();
    EXPECT_EQ(capture::CaptureWindow(window.hWnd(), -1, 0, 0, -5, 380), nullptr);
    EXPECT_EQ(capture::CaptureWindow(window.hWnd(), -1, 0, 0, 0, 0), nullptr);
    EXPECT_EQ(table.size(), objects);
    // On a palette display the palette of a capture that made no picture is freed too.
    forms::set_display_palette(std::array<forms::PaletteEntry, 256> {});
    EXPECT_EQ(capture::CaptureWindow(window.hWnd(), -1, 0, 0, 0, 10), nullptr);
    EXPECT_EQ(table.size(), objects);
    forms::set_display_palette(std::nullopt);

    auto wider = capture::CaptureWindow(window.hWnd(), -1, -10, 0, 620, 380);
    ASSERT_NE(wider, nullptr);
    EXPECT_EQ(wider->pixel_width(), 620);
    EXPECT_EQ(wider->pixels()->pixel(0, 100), (forms::Rgb { 0, 0, 0 }));
    EXPECT_EQ(wider->pixels()->pixel(15, 100), window.surface().pixel(5, 100));
}

TEST_F(Capture, AFailingReadOfTheFormRaisesBeforeAnyDeviceContext)
{
    auto& window = start();
    forms::Runtime::the().fail_operation(forms::FaultPoint::scale_y);
    EXPECT_THROW(capture::CaptureClient(window), forms::RaisedError);
    EXPECT_EQ(forms::handles().count<forms::DcObject>(), 0u);
}

class SaveCommand : public FreshRuntime {
protected:
    TempFolder folder;
};

TEST_F(SaveCommand, CancelWritesNothingAndLeavesTheCaptureOnTheClipboard)
{
    auto& window = start();
    host.clipboard = std::make_shared<forms::Surface>(3, 3, forms::Rgb { 1, 2, 3 });
    click_socket(12);
    host.dialog_answers.push_back("");
    menu("save1");
    ASSERT_EQ(host.dialog_requests.size(), 1u);
    EXPECT_EQ(host.dialog_requests[0].default_extension, ".BMP");
    EXPECT_EQ(host.dialog_requests[0].filter, "Bitmap Image (*.bmp)|*.bmp");
    EXPECT_EQ(host.dialog_requests[0].file_name, "");
    ASSERT_NE(host.clipboard, nullptr);
    EXPECT_EQ(*host.clipboard, window.surface());
    EXPECT_TRUE(fs::is_empty(folder.path()));
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(SaveCommand, ANameGetsABitmapOfTheClientAreaAsItWas)
{
    auto& window = start();
    menu("green1");
    click_socket(0);
    auto name = (folder.path() / "board.bmp").string();
    host.dialog_answers.push_back(name);
    menu("save1");
    auto bytes = read_file(name);
    ASSERT_EQ(bytes.size(), 684054u);
    auto decoded = forms::must(forms::decode_bmp(bytes));
    EXPECT_EQ(decoded, window.surface());
    EXPECT_EQ(*host.clipboard, window.surface());
}

TEST_F(SaveCommand, TwoSavesMakeTwoCapturesAndTheDialogKeepsTheName)
{
    auto& window = start();
    auto first = (folder.path() / "one.bmp").string();
    auto second = (folder.path() / "notes.txt").string();
    host.dialog_answers = { first, second };
    menu("save1");
    click_socket(200);
    menu("save1");
    ASSERT_EQ(host.dialog_requests.size(), 2u);
    EXPECT_EQ(host.dialog_requests[1].file_name, first);
    EXPECT_EQ(forms::must(forms::decode_bmp(read_file(second))), window.surface());
    EXPECT_NE(forms::must(forms::decode_bmp(read_file(first))), window.surface());
    EXPECT_EQ(*host.clipboard, window.surface());
    EXPECT_EQ(host.clipboard_clears, 2);
}

TEST_F(SaveCommand, AFailedSaveIsReportedAndTheProgramGoesOn)
{
    auto& window = start();
    click_socket(40);
    forms::Surface before = window.surface();
    auto name = (folder.path() / "missing" / "board.bmp").string();
    host.dialog_answers = { name, (folder.path() / "good.bmp").string() };
    menu("save1");
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_NE(host.messages[0].find(name), std::string::npos);
    EXPECT_TRUE(host.quits.empty());
    EXPECT_FALSE(forms::Runtime::the().finished());
    EXPECT_EQ(window.surface(), before);
    EXPECT_EQ(*host.clipboard, before);
    menu("save1");
    EXPECT_TRUE(fs::exists(folder.path() / "good.bmp"));
}

TEST_F(SaveCommand, AFailingClipboardStopsTheCommandBeforeTheDialog)
{
    start();
    forms::Runtime::the().fail_operation(forms::FaultPoint::clipboard_set_data);
    menu("save1");
    EXPECT_TRUE(host.dialog_requests.empty());
    EXPECT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.clipboard, nullptr);
    EXPECT_TRUE(host.quits.empty());
}
