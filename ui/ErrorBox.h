// The error box of the browsing dialogs: "Error %i\n\n%s" with the last error and its text,
// captioned "Varnook FTP". A forced box (a connection, reconnection or folder creation that
// failed) always shows, with the stop icon. An unforced one (a listing that failed) has the
// exclamation icon and stays away for ENOENT, which is how the engine's listing reports an empty
// folder: no failure.
#pragma once

#include <cstdint>
#include <string>

class QWidget;

// Shows the box through the dialog host; false when an unforced box was left out. The error is
// left as the calling thread's last error, the text as its detail, shown or not: a browsing
// dialog that closes itself after the box hands back only 0, and its caller, on the same thread,
// can still ask why.
bool ShowErrorBox(QWidget* parent, uint32_t error, const std::string& text, bool forced);
