#include "print.h"

#include "capture.h"
#include "commands.h"

#include "forms/error.h"
#include "forms/runtime.h"
#include "forms/scale.h"

#include <cfenv>
#include <cstdint>

namespace capture {

namespace {

using forms::must;

constexpr int tested_exceptions = FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW;

// Each tested computation runs between clearing and testing the exception
// flags. Its operands and result go through volatile objects: the compiler may
// then neither fold it nor move it to the other side of either call.
template<typename Result, typename Operation>
Result tested(double a, double b, Operation operation)
{
    volatile double left = a;
    volatile double right = b;
    std::feclearexcept(tested_exceptions);
    volatile Result result = static_cast<Result>(operation(double(left), double(right)));
    if (std::fetestexcept(tested_exceptions))
        forms::raise({ forms::errors::overflow, "Overflow" });
    return result;
}

double quotient(double a, double b) { return a / b; }
double product(double a, double b) { return a * b; }

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
    double picture_ratio = tested<double>(double(width_again), double(height_again), quotient);

    float drawable_width = must(Prn.ScaleWidth());
    double page_width = must(Prn.ScaleX(drawable_width, must(Prn.ScaleMode()), himetric));
    float drawable_height = must(Prn.ScaleHeight());
    double page_height = must(Prn.ScaleY(drawable_height, must(Prn.ScaleMode()), himetric));

    double page_ratio = tested<double>(page_width, page_height, quotient);

    double print_width;
    double print_height;
    if (picture_ratio < page_ratio) {
        print_height = must(Prn.ScaleY(float(page_height), himetric, must(Prn.ScaleMode())));
        float width = tested<float>(page_height, picture_ratio, product);
        print_width = must(Prn.ScaleX(width, himetric, must(Prn.ScaleMode())));
    } else {
        print_width = must(Prn.ScaleX(float(page_width), himetric, must(Prn.ScaleMode())));
        float height = tested<float>(page_width, picture_ratio, quotient);
        print_height = must(Prn.ScaleY(height, himetric, must(Prn.ScaleMode())));
    }

    must(Prn.PaintPicture(Pic, 0.0f, 0.0f, print_width, print_height));
}

void print_command(forms::Form& main_window)
{
    // A failed print is reported and the program goes on; the steps already
    // done stay done, and the references held are released on the way out.
    // A document left open by the failure is dropped, so that the next Print
    // starts a fresh one.
    try {
        capture_to_clipboard(main_window);
        {
            forms::PrinterObject* printer = must(forms::Printer());
            forms::PictureRef picture = picture_from_clipboard();
            PrintPictureToFitPage(*printer, picture);
        }
        must(must(forms::Printer())->EndDoc());
    } catch (forms::RaisedError const& raised) {
        if (auto printer = forms::Printer(); !printer.is_error())
            (void)printer.value()->KillDoc();
        forms::Runtime::the().report(raised.error());
    }
}

}
