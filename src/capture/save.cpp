#include "capture.h"
#include "commands.h"

#include "forms/file_dialog.h"
#include "forms/runtime.h"
#include "forms/save_picture.h"

namespace capture {

using namespace forms;

namespace {

void save_steps(Form& main_window)
{
    capture_to_clipboard(main_window);
    // From here on the image exists only on the clipboard.

    FileDialog& dialog = *main_window.control("CommonDialog1").file_dialog();
    must(dialog.set_DefaultExt(".BMP"));
    must(dialog.set_Filter("Bitmap Image (*.bmp)|*.bmp"));
    must(dialog.ShowSave());

    std::string name = must(dialog.FileName());
    if (name.empty())
        return;

    PictureRef taken_back = picture_from_clipboard();
    // Another program put something that is no picture there meanwhile.
    if (!taken_back)
        raise({ errors::invalid_picture,
            "Invalid picture: the clipboard holds no picture, so nothing was written to " + name });
    must(SavePicture(taken_back, name));
}

}

void save_command(Form& main_window)
{
    // A failed save is reported and the program goes on: the user's board is
    // still there to be saved elsewhere.
    try {
        save_steps(main_window);
    } catch (RaisedError const& raised) {
        Runtime::the().report(raised.error());
    }
}

}
