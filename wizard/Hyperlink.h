// A static text that opens its own text as an address when clicked: blue, underlined, with the
// hand cursor. The final page and the about box use it for the web site and the download page.
#pragma once

class QLabel;

// Turns the label into a hyperlink label. Clicks open the label's text through the dialog host,
// so a scripted host records them instead; every other event reaches the label as before.
void MakeHyperlink(QLabel* label);
