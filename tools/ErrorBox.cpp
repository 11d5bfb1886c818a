#include "ErrorBox.h"

#include <cerrno>
#include <cstdio>
#include <string>

#include "BrowseConnection.h"
#include "DialogHost.h"

void ShowConnectionError(QWidget* parent, const CBrowseConnection& connection, bool forced) {
  uint32_t error = 0;
  std::string text;
  connection.GetLastErrorInfo(error, text);
  // The listing reports an empty folder as ENOENT.
  if (!forced && error == ENOENT) return;
  char head[32];
  std::snprintf(head, sizeof head, "Error %i\n\n", static_cast<int>(error));
  CDialogHost::Get().MessageBox(parent, head + text, "Varnook FTP",
                                forced ? MsgIcon::Error : MsgIcon::Warning);
}
