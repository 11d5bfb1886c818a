#include "ErrorBox.h"

#include <cerrno>

#include "DialogHost.h"
#include "trox/InternetError.h"

bool ShowErrorBox(QWidget* parent, uint32_t error, const std::string& text, bool forced) {
  SetLastError(error);
  SetLastErrorDetail(text);
  if (!forced && error == ENOENT) return false;
  std::string message = "Error " + std::to_string(static_cast<int>(error)) + "\n\n" + text;
  CDialogHost::Get().MessageBox(parent, message, "Varnook FTP",
                                forced ? MsgIcon::Error : MsgIcon::Warning);
  return true;
}
