#include "file_dialog.h"
#include "host.h"
#include "runtime.h"

namespace forms {

ErrorOr<void> FileDialog::set_DefaultExt(std::string extension)
{
    TRY(Runtime::the().check(FaultPoint::file_dialog_default_ext));
    m_default_extension = std::move(extension);
    return {};
}

ErrorOr<void> FileDialog::set_Filter(std::string filter)
{
    TRY(Runtime::the().check(FaultPoint::file_dialog_filter));
    m_filter = std::move(filter);
    return {};
}

ErrorOr<std::string> FileDialog::FileName() const
{
    TRY(Runtime::the().check(FaultPoint::file_dialog_file_name));
    return m_file_name;
}

ErrorOr<void> FileDialog::ShowSave()
{
    TRY(Runtime::the().check(FaultPoint::file_dialog_show));
    auto chosen = Runtime::the().host().save_dialog().show_save_dialog(*m_owner, { m_default_extension, m_filter, m_file_name });
    if (chosen.is_error())
        return chosen.error();
    m_file_name = chosen.release_value();
    return {};
}

}
