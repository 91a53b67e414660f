#include "file_dialog.h"
#include "host.h"
#include "runtime.h"

namespace forms {

ErrorOr<void> FileDialog::set_DefaultExt(std::string extension)
{
    if (auto checked = Runtime::the().check("FileDialog.DefaultExt"); checked.is_error())
        return checked;
    m_default_extension = std::move(extension);
    return {};
}

ErrorOr<void> FileDialog::set_Filter(std::string filter)
{
    if (auto checked = Runtime::the().check("FileDialog.Filter"); checked.is_error())
        return checked;
    m_filter = std::move(filter);
    return {};
}

ErrorOr<void> FileDialog::set_FileName(std::string name)
{
    m_file_name = std::move(name);
    return {};
}

ErrorOr<std::string> FileDialog::DefaultExt() const { return m_default_extension; }
ErrorOr<std::string> FileDialog::Filter() const { return m_filter; }

ErrorOr<std::string> FileDialog::FileName() const
{
    if (auto checked = Runtime::the().check("FileDialog.FileName"); checked.is_error())
        return checked.error();
    return m_file_name;
}

ErrorOr<void> FileDialog::ShowSave()
{
    if (auto checked = Runtime::the().check("FileDialog.Show"); checked.is_error())
        return checked;
    auto chosen = Runtime::the().host().show_save_dialog(*m_owner, { m_default_extension, m_filter, m_file_name });
    if (chosen.is_error())
        return chosen.error();
    m_file_name = chosen.release_value();
    return {};
}

}
