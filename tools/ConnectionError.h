// The connection's error in the screen layer's error box, for both browsing dialogs.
#pragma once

class CBrowseConnection;
class QWidget;

// ShowErrorBox with the connection's last error and its text.
void ShowConnectionError(QWidget* parent, const CBrowseConnection& connection, bool forced);
