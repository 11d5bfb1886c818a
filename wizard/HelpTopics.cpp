#include "HelpTopics.h"

#include <filesystem>

#include "DialogHost.h"
#include "FileTypeRegistration.h"

namespace fs = std::filesystem;

std::string HelpTopicPath(const std::string& topic) {
  std::string program = ProgramPath();
  if (program.empty() || topic.empty()) return {};
  fs::path bin = fs::path(program).parent_path();
  for (const fs::path& folder :
       {bin / "help", bin.parent_path() / "share" / "trox-wizard" / "help"}) {
    std::error_code error;
    fs::path page = folder / topic;
    if (fs::is_regular_file(page, error)) return page.string();
  }
  return {};
}

void OpenHelpTopic(const std::string& topic) {
  std::string path = HelpTopicPath(topic);
  if (!path.empty()) CDialogHost::Get().OpenUrl(path);
}
