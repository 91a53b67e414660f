#pragma once

#include "error.h"

#include <string>

namespace forms {

class Form;

// The file dialog control: settings kept between showings, a modal show, and
// the file name the last showing left (empty after Cancel).
class FileDialog {
public:
    explicit FileDialog(Form& owner)
        : m_owner(&owner)
    {
    }

    ErrorOr<void> set_DefaultExt(std::string extension);
    ErrorOr<void> set_Filter(std::string filter);
    ErrorOr<std::string> FileName() const;

    // Shows the dialog for saving and returns when the user has closed it; Cancel
    // is no error.
    ErrorOr<void> ShowSave();

private:
    Form* m_owner;
    std::string m_default_extension;
    std::string m_filter;
    std::string m_file_name;
};

}
