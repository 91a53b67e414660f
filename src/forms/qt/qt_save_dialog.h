#pragma once

// The save-dialog port on Qt: Qt's own file dialog (never the desktop's, so it
// looks and acts the same everywhere) in its save variant, modal over the
// owner's window. It opens nothing and shows no other kind of dialog.

#include "forms/host.h"

#include <QByteArray>

#include <string>
#include <string_view>
#include <vector>

class QFileDialog;

namespace forms::qt {

class QtWindows;

class QtSaveDialog : public SaveDialogPort {
public:
    explicit QtSaveDialog(QtWindows& windows)
        : m_windows(windows)
    {
    }

    ErrorOr<std::string> show_save_dialog(Form& owner, FileDialogRequest const& request) override;

protected:
    // Runs the configured dialog and returns its QDialog::DialogCode; a test
    // can answer it instead of a user.
    virtual int run_dialog(QFileDialog& dialog);

private:
    QtWindows& m_windows;
    QByteArray m_state;
};

// "description|pattern|description|pattern..." as name filters for a file
// dialog: "description (pattern)", with ';'-separated patterns turned into the
// space-separated list the dialog expects. A description that already ends
// with its pattern in brackets is not given it a second time.
std::vector<std::string> dialog_name_filters(std::string_view filter);

// ".BMP" -> "BMP": the dialog wants the suffix without its dot.
std::string dialog_default_suffix(std::string_view extension);

}
