#include "qt_save_dialog.h"

#include "qt_windows.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>

namespace forms::qt {

namespace {

std::vector<std::string_view> split_bars(std::string_view text)
{
    std::vector<std::string_view> parts;
    while (true) {
        auto bar = text.find('|');
        parts.push_back(text.substr(0, bar));
        if (bar == std::string_view::npos)
            break;
        text.remove_prefix(bar + 1);
    }
    return parts;
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

std::string space_separated(std::string_view patterns)
{
    std::string list;
    while (!patterns.empty()) {
        auto semicolon = patterns.find(';');
        auto one = trimmed(patterns.substr(0, semicolon));
        if (!one.empty()) {
            if (!list.empty())
                list += ' ';
            list += one;
        }
        if (semicolon == std::string_view::npos)
            break;
        patterns.remove_prefix(semicolon + 1);
    }
    return list.empty() ? std::string("*") : list;
}

}

std::vector<std::string> dialog_name_filters(std::string_view filter)
{
    std::vector<std::string> filters;
    if (filter.empty())
        return filters;
    auto parts = split_bars(filter);
    // A description left without a pattern names nothing the dialog could match.
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        std::string_view description = trimmed(parts[i]);
        std::string_view pattern = trimmed(parts[i + 1]);
        std::string patterns = space_separated(pattern);
        std::string shown_as = "(" + std::string(pattern) + ")";
        if (!pattern.empty() && description.size() >= shown_as.size()
            && description.substr(description.size() - shown_as.size()) == shown_as) {
            description.remove_suffix(shown_as.size());
            std::string kept(trimmed(description));
            filters.push_back(kept.empty() ? "(" + patterns + ")" : kept + " (" + patterns + ")");
        } else if (description.empty()) {
            filters.push_back("(" + patterns + ")");
        } else {
            filters.push_back(std::string(description) + " (" + patterns + ")");
        }
    }
    return filters;
}

std::string dialog_default_suffix(std::string_view extension)
{
    while (!extension.empty() && extension.front() == '.')
        extension.remove_prefix(1);
    return std::string(extension);
}

namespace {

// Qt's own dialog reads a '"' in the typed name as the start of a list of
// quoted names, so `it's "x".bmp` would save as x.BMP. A save takes one name:
// such a name is used whole, as typed. Empty when Qt's reading is right.
QString quoted_name_as_typed(QFileDialog const& dialog)
{
    auto const* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!edit || !edit->text().contains(u'"'))
        return {};
    QString name = edit->text();
    if (name.startsWith(u"~/"))
        name = QDir::homePath() + name.mid(1);
    QString path = dialog.directory().absoluteFilePath(name);
    QString const suffix = dialog.defaultSuffix();
    if (!suffix.isEmpty() && !QFileInfo(path).isDir() && !path.mid(path.lastIndexOf(u'/')).contains(u'.'))
        path += u'.' + suffix;
    return path;
}

class SaveFileDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

    void accept() override
    {
        QString const path = quoted_name_as_typed(*this);
        if (path.isEmpty())
            return QFileDialog::accept();
        QFileInfo const info(path);
        if (info.isDir()) {
            setDirectory(path);
            return;
        }
        // The question Qt's dialog asks, about this file rather than its misreading.
        if (info.exists()
            && QMessageBox::warning(this, windowTitle(),
                   tr("%1 already exists.\nDo you want to replace it?").arg(info.fileName()),
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
                != QMessageBox::Yes)
            return;
        QDialog::accept();
    }
};

}

namespace {

// Qt's file dialog reads its history and last folder from the user's
// settings file ("QtProject", native format) when it is made, and writes them
// back under a lock file when it goes; this program keeps nothing between
// runs. Settings files are put in a folder below /dev/null, where no file can
// be: there is nothing to read, and no lock or file can be made.
void keep_no_settings()
{
    static bool const kept_nowhere = [] {
        for (auto format : { QSettings::NativeFormat, QSettings::IniFormat })
            for (auto scope : { QSettings::UserScope, QSettings::SystemScope })
                QSettings::setPath(format, scope, QStringLiteral("/dev/null"));
        return true;
    }();
    (void)kept_nowhere;
}

}

int QtSaveDialog::run_dialog(QFileDialog& dialog)
{
    return dialog.exec();
}

ErrorOr<std::string> QtSaveDialog::show_save_dialog(Form& owner, FileDialogRequest const& request)
{
    keep_no_settings();
    QWidget* parent = m_windows.window_of(owner);
    SaveFileDialog dialog(parent);
    // What the dialog would have kept in the settings file lasts the run.
    if (!m_state.isEmpty())
        dialog.restoreState(m_state);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setWindowTitle(QStringLiteral("Save As"));
    QStringList filters;
    for (auto const& filter : dialog_name_filters(request.filter))
        filters << QString::fromStdString(filter);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(QString::fromStdString(dialog_default_suffix(request.default_extension)));
    if (!request.file_name.empty())
        dialog.selectFile(QFile::decodeName(QByteArray::fromStdString(request.file_name)));
    int const answer = run_dialog(dialog);
    m_state = dialog.saveState();
    // Without a window manager nobody hands the focus back to the owner.
    if (parent && parent->isVisible())
        parent->activateWindow();
    if (answer != QDialog::Accepted)
        return std::string {};
    if (QString const whole = quoted_name_as_typed(dialog); !whole.isEmpty())
        return QFile::encodeName(whole).toStdString();
    QStringList const chosen = dialog.selectedFiles();
    if (chosen.isEmpty())
        return std::string {};
    return QFile::encodeName(chosen.first()).toStdString();
}

}
