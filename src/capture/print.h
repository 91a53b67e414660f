#pragma once

#include "forms/picture.h"
#include "forms/printer.h"

namespace capture {

// Prints the picture as large as the drawing area allows, its proportions kept,
// from the drawing area's top-left corner; portrait unless the picture is wider
// than high. Leaves the document open. A failure raises its run-time error.
void PrintPictureToFitPage(forms::PrinterObject& Prn, forms::PictureRef& Pic);

}
