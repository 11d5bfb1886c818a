// Help topics are HTML pages shipped beside the program (help/*.htm next to the binary, or
// share/trox-wizard/help beside its bin folder once installed). A page that is missing does
// nothing.
#pragma once

#include <string>

// Full path of the topic's page, or "" when it is not there.
std::string HelpTopicPath(const std::string& topic);
// Opens the topic in the desktop's browser through the dialog host.
void OpenHelpTopic(const std::string& topic);
