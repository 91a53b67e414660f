#include "board/tarvo1.h"
#include "forms/qt/qt_application.h"
#include "forms/runtime.h"

int main(int argc, char** argv)
{
    return forms::qt::run_application(argc, argv, [] {
        forms::Runtime::the().dispatch([] { forms::must(board::tarvo1->set_Visible(true)); });
    });
}
