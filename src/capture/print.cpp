#include "print.h"

#include "capture.h"
#include "commands.h"

#include "forms/clipboard.h"
#include "forms/error.h"
#include "forms/runtime.h"
#include "forms/scale.h"

#include <cfenv>
#include <cstdint>

namespace capture {

namespace {

using forms::must;

constexpr int tested_exceptions = FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW;

[[noreturn]] void raise_floating_point_error()
{
    forms::raise({ forms::errors::floating_point, "Overflow" });
}

// Each tested computation runs between clearing and testing the exception flags.
// Its operands and result go through volatile objects: the compiler may then
// neither fold it nor move it to the other side of either call.
void test_exceptions()
{
    if (std::fetestexcept(tested_exceptions))
        raise_floating_point_error();
}

double tested_quotient(double dividend, double divisor)
{
    volatile double a = dividend;
    volatile double b = divisor;
    std::feclearexcept(tested_exceptions);
    volatile double result = a / b;
    test_exceptions();
    return result;
}

float tested_single_product(double factor, double other)
{
    volatile double a = factor;
    volatile double b = other;
    std::feclearexcept(tested_exceptions);
    volatile float result = static_cast<float>(a * b);
    test_exceptions();
    return result;
}

float tested_single_quotient(double dividend, double divisor)
{
    volatile double a = dividend;
    volatile double b = divisor;
    std::feclearexcept(tested_exceptions);
    volatile float result = static_cast<float>(a / b);
    test_exceptions();
    return result;
}

forms::Picture const& picture_of(forms::PictureRef const& picture)
{
    if (!picture)
        forms::raise({ forms::errors::object_required, "Object required" });
    return *picture;
}

}

void PrintPictureToFitPage(forms::PrinterObject& Prn, forms::PictureRef& Pic)
{
    constexpr std::int16_t himetric = forms::scale_modes::himetric;

    std::int32_t picture_height = picture_of(Pic).Height();
    std::int32_t picture_width = picture_of(Pic).Width();

    // Turned before the drawing area is read, so that the size read is the turned page's.
    if (picture_height >= picture_width)
        must(Prn.set_Orientation(forms::orientations::portrait));
    else
        must(Prn.set_Orientation(forms::orientations::landscape));

    std::int32_t width_again = picture_of(Pic).Width();
    std::int32_t height_again = picture_of(Pic).Height();
    double picture_ratio = tested_quotient(double(width_again), double(height_again));

    float drawable_width = must(Prn.ScaleWidth());
    double page_width = must(Prn.ScaleX(drawable_width, must(Prn.ScaleMode()), himetric));
    float drawable_height = must(Prn.ScaleHeight());
    double page_height = must(Prn.ScaleY(drawable_height, must(Prn.ScaleMode()), himetric));

    double page_ratio = tested_quotient(page_width, page_height);

    double print_width;
    double print_height;
    if (picture_ratio < page_ratio) {
        print_height = must(Prn.ScaleY(float(page_height), himetric, must(Prn.ScaleMode())));
        float width = tested_single_product(page_height, picture_ratio);
        print_width = must(Prn.ScaleX(width, himetric, must(Prn.ScaleMode())));
    } else {
        print_width = must(Prn.ScaleX(float(page_width), himetric, must(Prn.ScaleMode())));
        float height = tested_single_quotient(page_width, picture_ratio);
        print_height = must(Prn.ScaleY(height, himetric, must(Prn.ScaleMode())));
    }

    must(Prn.PaintPicture(Pic, 0.0f, 0.0f, print_width, print_height));
}

void print_command(forms::Form& main_window)
{
    // A failed print is reported and the program goes on; the steps already
    // done stay done, and the references held are released on the way out.
    try {
        must(must(forms::Clipboard())->Clear());
        {
            forms::PictureRef capture = CaptureClient(main_window);
            must(must(forms::Clipboard())->SetData(capture, forms::clipboard_formats::bitmap));
        }
        {
            forms::PrinterObject* printer = must(forms::Printer());
            forms::PictureRef picture = must(must(forms::Clipboard())->GetData());
            PrintPictureToFitPage(*printer, picture);
        }
        must(must(forms::Printer())->EndDoc());
    } catch (forms::RaisedError const& raised) {
        forms::Runtime::the().report(raised.error());
    }
}

}
