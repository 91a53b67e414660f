#include "board/tarvo1.h"
#include "forms/error.h"
#include "forms/qt/qt_application.h"
#include "forms/runtime.h"

int main(int argc, char** argv)
{
    return forms::qt::run_application(argc, argv, [] {
        forms::Runtime::the().dispatch([] {
            // A stored picture that cannot be decoded leaves nothing to show:
            // the start ends with a line rather than with a message box.
            auto loaded = board::tarvo1->Load();
            if (loaded.is_error() && loaded.error().number == forms::errors::invalid_picture) {
                forms::qt::refuse_start("a picture of the main window cannot be decoded ("
                    + loaded.error().description + "); the program file is damaged");
                return;
            }
            forms::must(std::move(loaded));
            forms::must(board::tarvo1->set_Visible(true));
        });
    });
}
