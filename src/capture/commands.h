#pragma once

#include "forms/form.h"

namespace capture {

// File > Save of the main window.
void save_command(forms::Form& main_window);
// File > Print of the main window.
void print_command(forms::Form& main_window);

}
