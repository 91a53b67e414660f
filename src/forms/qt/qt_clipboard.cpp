#include "qt_clipboard.h"

#include "qt_convert.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace forms::qt {

ErrorOr<void> QtClipboard::clipboard_clear()
{
    QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
    return {};
}

ErrorOr<void> QtClipboard::clipboard_set_image(Surface const& pixels)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setImage(copy_surface(pixels), QClipboard::Clipboard);
    QMimeData const* held = clipboard->mimeData(QClipboard::Clipboard);
    if (!held || !held->hasImage())
        return RuntimeError { errors::cant_open_clipboard, "Can't open Clipboard" };
    return {};
}

ErrorOr<std::shared_ptr<Surface>> QtClipboard::clipboard_image()
{
    QImage const image = QGuiApplication::clipboard()->image(QClipboard::Clipboard);
    if (image.isNull())
        return std::shared_ptr<Surface> {};
    return std::make_shared<Surface>(surface_from_image(image));
}

}
