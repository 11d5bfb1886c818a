#include "ConnectionError.h"

#include <string>

#include "BrowseConnection.h"
#include "ErrorBox.h"

void ShowConnectionError(QWidget* parent, const CBrowseConnection& connection, bool forced) {
  uint32_t error = 0;
  std::string text;
  connection.GetLastErrorInfo(error, text);
  ShowErrorBox(parent, error, text, forced);
}
