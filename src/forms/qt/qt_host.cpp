#include "qt_host.h"

#include "file_filter.h"
#include "forms/bmp.h"
#include "forms/form.h"
#include "forms/runtime.h"
#include "qt_image.h"
#include "qt_printer.h"
#include "qt_window.h"

#include <QApplication>
#include <QFontMetrics>
#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QIcon>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPalette>
#include <QPixmap>

#include <optional>

namespace forms::qt {

namespace {

// The runtime's own error number for a clipboard that would not take the data.
constexpr std::int32_t cant_open_clipboard = 521;

// Shipped by fonts-dejavu-core, so text looks the same on every machine.
constexpr char const* text_font_file = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
// A little under 8 points at 96 dpi: the stored label boxes were sized for a
// narrower face, and at 11 pixels "Choose a color:" no longer fits its 81.
constexpr int text_pixel_size = 10;

QIcon icon_from(StoredBytes bytes)
{
    if (bytes.empty())
        return {};
    QImage image;
    auto decoded = decode_ico(bytes);
    if (!decoded.is_error())
        image = copy_surface(decoded.value());
    else
        image = QImage::fromData(bytes.data(), int(bytes.size()), "ICO");
    if (image.isNull())
        return {};
    return QIcon(QPixmap::fromImage(image));
}

QRect to_qrect(Rect r)
{
    return { r.x, r.y, r.width, r.height };
}

}

QtHost::QtHost() = default;

QtHost::~QtHost()
{
    for (auto& [form, window] : m_windows) {
        if (window) {
            window->detach();
            delete window.data();
        }
    }
}

HostWindow* QtHost::find(Form const& form) const
{
    auto it = m_windows.find(&form);
    return it == m_windows.end() ? nullptr : it->second.data();
}

QWidget* QtHost::window_of(Form const& form) const
{
    return find(form);
}

QWidget* QtHost::canvas_of(Form const& form) const
{
    auto* window = find(form);
    return window ? window->canvas() : nullptr;
}

QMenuBar* QtHost::menu_bar_of(Form const& form) const
{
    auto* window = find(form);
    return window ? window->menu_bar() : nullptr;
}

void QtHost::create_window(Form& form)
{
    if (find(form))
        return;
    auto* window = new HostWindow(*this, form);
    QIcon icon = icon_from(form.description().icon);
    if (!icon.isNull()) {
        window->setWindowIcon(icon);
        QApplication::setWindowIcon(icon);
    }
    m_windows[&form] = window;
}

void QtHost::destroy_window(Form& form)
{
    auto it = m_windows.find(&form);
    if (it == m_windows.end())
        return;
    QPointer<HostWindow> window = it->second;
    m_windows.erase(it);
    if (!window)
        return;
    window->detach();
    window->hide();
    // Later: this may run inside one of the window's own signals.
    window->deleteLater();
}

void QtHost::show_window(Form& form, bool visible)
{
    auto* window = find(form);
    if (!window)
        return;
    if (!visible) {
        window->hide();
        return;
    }
    if (!window->placed()) {
        window->set_placed();
        WindowDesc const& desc = form.description();
        if (desc.start == StartPosition::Manual)
            window->move(twips_to_pixels(desc.left), twips_to_pixels(desc.top));
    }
    window->show();
    window->raise();
    window->activateWindow();
}

void QtHost::present(Form& form, Rect area)
{
    auto* window = find(form);
    if (!window || area.is_empty())
        return;
    window->canvas()->update(to_qrect(area));
}

Rgb QtHost::system_colour(std::uint32_t index) const
{
    QPalette const palette = QApplication::palette();
    auto role = [&](QPalette::ColorRole r) { return rgb_from(palette.color(QPalette::Active, r)); };
    switch (index) {
    case 0: // scroll bar
    case 15: // button face
    case 10: // active border
    case 11: // inactive border
        return role(QPalette::Button);
    case 1: // desktop
    case 12: // application workspace
    case 16: // button shadow
        return role(QPalette::Mid);
    case 2: // active caption
    case 13: // highlight
    case 27: // gradient active caption
    case 29: // menu highlight
        return role(QPalette::Highlight);
    case 3: // inactive caption
    case 28: // gradient inactive caption
        return role(QPalette::Midlight);
    case 4: // menu
    case 30: // menu bar
        return role(QPalette::Window);
    case 5: // window
        return role(QPalette::Base);
    case 6: // window frame
    case 21: // 3D dark shadow
        return role(QPalette::Shadow);
    case 7: // menu text
    case 8: // window text
        return role(QPalette::WindowText);
    case 9: // caption text
    case 14: // highlighted text
        return role(QPalette::HighlightedText);
    case 17: // grey text
        return rgb_from(palette.color(QPalette::Disabled, QPalette::Text));
    case 18: // button text
        return role(QPalette::ButtonText);
    case 19: // inactive caption text
        return role(QPalette::Text);
    case 20: // button highlight
        return role(QPalette::Light);
    case 22: // 3D light
        return role(QPalette::Midlight);
    case 23: // tooltip text
        return role(QPalette::ToolTipText);
    case 24: // tooltip ground
        return role(QPalette::ToolTipBase);
    case 26: // hot-tracked item
        return role(QPalette::Link);
    default:
        return role(QPalette::Window);
    }
}

int QtHost::text_line_height() const
{
    return QFontMetrics(text_font()).height();
}

QFont const& QtHost::text_font() const
{
    if (!m_font) {
        QString family;
        int const id = QFontDatabase::addApplicationFont(QString::fromLatin1(text_font_file));
        if (id >= 0) {
            QStringList const families = QFontDatabase::applicationFontFamilies(id);
            if (!families.isEmpty())
                family = families.first();
        }
        QFont font = family.isEmpty() ? QFontDatabase::systemFont(QFontDatabase::GeneralFont) : QFont(family);
        font.setPixelSize(text_pixel_size);
        font.setWeight(QFont::Normal);
        font.setStyle(QFont::StyleNormal);
        // Fixed rather than taken from the desktop's font settings, so that the
        // same text gives the same pixels everywhere.
        font.setHintingPreference(QFont::PreferFullHinting);
        font.setStyleStrategy(QFont::NoAntialias);
        font.setKerning(false);
        m_font = font;
    }
    return *m_font;
}

void QtHost::draw_text(Surface& target, Rect box, std::string_view text, Rgb colour, Alignment alignment)
{
    Rect const clip = box.intersected(target.rect());
    if (clip.is_empty() || text.empty())
        return;
    QImage image = wrap_surface(target);
    QPainter painter(&image);
    painter.setClipRect(to_qrect(clip));
    painter.setFont(text_font());
    painter.setPen(QColor(colour.r, colour.g, colour.b));
    int flags = Qt::AlignTop | Qt::TextWordWrap;
    switch (alignment) {
    case Alignment::Left:
        flags |= Qt::AlignLeft;
        break;
    case Alignment::Right:
        flags |= Qt::AlignRight;
        break;
    case Alignment::Centre:
        flags |= Qt::AlignHCenter;
        break;
    }
    painter.drawText(to_qrect(box), flags, QString::fromUtf8(text.data(), qsizetype(text.size())));
}

void QtHost::message_box(std::string_view caption, std::string_view text)
{
    QMessageBox box(QMessageBox::Critical,
        QString::fromUtf8(caption.data(), qsizetype(caption.size())),
        QString::fromUtf8(text.data(), qsizetype(text.size())),
        QMessageBox::Ok, QApplication::activeWindow());
    // Tied to the window the user was working in, so that it opens above it.
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void QtHost::quit(int status)
{
    m_quit_status = status;
    // Ends every running loop, nested ones (a modal dialog) included; a loop
    // started afterwards returns at once, so nothing can hold the end up.
    QCoreApplication::exit(status);
}

Rect QtHost::client_in_window(Form& form) const
{
    auto* window = find(form);
    if (!window)
        return Host::client_in_window(form);
    QRect const r = window->canvas()->geometry();
    return { r.x(), r.y(), r.width(), r.height() };
}

Surface QtHost::window_frame(Form& form) const
{
    auto* window = find(form);
    if (!window)
        return Host::window_frame(form);
    return surface_from_image(window->grab().toImage());
}

ErrorOr<void> QtHost::clipboard_clear()
{
    QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
    return {};
}

ErrorOr<void> QtHost::clipboard_set_image(Surface const& pixels)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setImage(copy_surface(pixels), QClipboard::Clipboard);
    QMimeData const* held = clipboard->mimeData(QClipboard::Clipboard);
    if (!held || !held->hasImage())
        return RuntimeError { cant_open_clipboard, "Can't open Clipboard" };
    return {};
}

ErrorOr<std::shared_ptr<Surface>> QtHost::clipboard_image()
{
    QImage const image = QGuiApplication::clipboard()->image(QClipboard::Clipboard);
    if (image.isNull())
        return std::shared_ptr<Surface> {};
    return std::make_shared<Surface>(surface_from_image(image));
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

int QtHost::run_dialog(QFileDialog& dialog)
{
    return dialog.exec();
}

ErrorOr<std::string> QtHost::show_save_dialog(Form& owner, FileDialogRequest const& request)
{
    HostWindow* parent = find(owner);
    SaveFileDialog dialog(parent);
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

ErrorOr<PrinterDevice*> QtHost::printer()
{
    // Made on first use: looking for printers can take a while.
    if (!m_printer)
        m_printer = make_qt_printer_device();
    if (!m_printer)
        return RuntimeError { errors::printer_error, "Printer error" };
    return m_printer.get();
}

void QtHost::deliver_mouse_click(Form& form, int x, int y)
{
    Runtime::the().mouse_click(form, x, y);
}

void QtHost::deliver_menu_click(Form& form, std::string const& entry)
{
    Runtime::the().menu_click(form, entry);
}

void QtHost::deliver_close(Form& form)
{
    Runtime::the().close_requested(form);
}

void QtHost::deliver_button(Form& form, std::string const& control)
{
    Runtime::the().button_activated(form, control);
}

int run_application(int argc, char** argv, std::function<void()> start)
{
    // The surface is shown pixel for pixel: no scaling, whatever the screen.
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    qputenv("QT_SCALE_FACTOR", "1");
    qunsetenv("QT_SCREEN_SCALE_FACTORS");

    // The argument count must outlive the application object.
    static int app_argc;
    app_argc = argc;
    std::optional<QApplication> own_app;
    if (!QCoreApplication::instance())
        own_app.emplace(app_argc, argv);
    QApplication::setApplicationName(QStringLiteral("zorvane"));
    QGuiApplication::setDesktopFileName(QStringLiteral("zorvane"));
    // The runtime ends the program when its last form is unloaded, not Qt.
    QGuiApplication::setQuitOnLastWindowClosed(false);

    Runtime& runtime = Runtime::the();
    int status = 0;
    {
        QtHost host;
        runtime.set_host(&host);
        start();
        if (host.quit_status())
            status = *host.quit_status();
        else if (runtime.finished())
            status = runtime.exit_status();
        else
            status = QApplication::exec();
        if (host.quit_status())
            status = *host.quit_status();
        // Windows let go during the last event are still waiting to be deleted.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        runtime.set_host(nullptr);
    }
    if (runtime.finished())
        status = runtime.exit_status();
    return status;
}

}
