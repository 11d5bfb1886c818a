#include "FileTypeRegistration.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "trox/AsciiCase.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kTrxGlob = "*.trx";
constexpr const char* kDescription = "Varnook FTP Wizard Transfer File";
constexpr const char* kPackageName = "trox-wizard.xml";
constexpr const char* kDesktopName = "trox-wizard.desktop";
constexpr const char* kIconName = "trox-wizard";
constexpr const char* kMimeIconName = "application-x-trox-transfer";

std::string ReadWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Writes only when the content differs; true when something was written.
bool WriteIfChanged(const fs::path& path, const std::string& content, bool& failed) {
  std::error_code error;
  if (fs::exists(path, error) && ReadWhole(path) == content) return false;
  fs::create_directories(path.parent_path(), error);
  fs::path temp = path;
  temp += ".new";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out.flush()) {
      failed = true;
      return false;
    }
  }
  fs::rename(temp, path, error);
  if (error) {
    fs::remove(temp, error);
    failed = true;
    return false;
  }
  return true;
}

// Looks up the compiled glob lists ("weight:type:glob[:flags]" in globs2, "type:glob" in globs).
std::string OwnerIn(const fs::path& mimeDir) {
  std::ifstream globs2(mimeDir / "globs2");
  std::string line;
  while (std::getline(globs2, line)) {
    if (line.empty() || line[0] == '#') continue;
    size_t first = line.find(':');
    size_t second = line.find(':', first == std::string::npos ? first : first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    std::string type = line.substr(first + 1, second - first - 1);
    std::string glob = line.substr(second + 1);
    glob = glob.substr(0, glob.find(':'));
    if (AsciiLowerCase(glob) == kTrxGlob) return type;
  }
  std::ifstream globs(mimeDir / "globs");
  while (std::getline(globs, line)) {
    if (line.empty() || line[0] == '#') continue;
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    if (AsciiLowerCase(line.substr(colon + 1)) == kTrxGlob) return line.substr(0, colon);
  }
  return {};
}

// Another package in the user's own mime packages that names the pattern.
bool ClaimedByOtherPackage(const fs::path& packages) {
  std::error_code error;
  for (auto it = fs::directory_iterator(packages, error); !error && it != fs::directory_iterator();
       it.increment(error)) {
    if (it->path().filename() == kPackageName) continue;
    std::string text = AsciiLowerCase(ReadWhole(it->path()));
    if (text.find("pattern=\"*.trx\"") != std::string::npos ||
        text.find("pattern='*.trx'") != std::string::npos)
      return true;
  }
  return false;
}

std::string MimePackage() {
  std::ostringstream xml;
  xml << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
      << "  <mime-type type=\"" << kTransferMimeType << "\">\n"
      << "    <comment>" << kDescription << "</comment>\n"
      << "    <icon name=\"" << kMimeIconName << "\"/>\n"
      << "    <glob pattern=\"" << kTrxGlob << "\"/>\n"
      << "  </mime-type>\n"
      << "</mime-info>\n";
  return xml.str();
}

std::string DesktopEntry(const std::string& programPath) {
  std::ostringstream entry;
  entry << "[Desktop Entry]\n"
        << "Type=Application\n"
        << "Name=TROX Wizard\n"
        << "GenericName=FTP Transfer Wizard\n"
        << "Comment=" << kDescription << "\n"
        << "Exec=" << DesktopExec(programPath, "%f") << "\n"
        << "Icon=" << kIconName << "\n"
        << "Terminal=false\n"
        << "MimeType=" << kTransferMimeType << ";\n"
        << "Categories=Network;FileTransfer;\n"
        << "Actions=TransferNow;Edit;\n"
        << "\n[Desktop Action TransferNow]\n"
        << "Name=Transfer Now\n"
        << "Exec=" << DesktopExec(programPath, "%f /t") << "\n"
        << "\n[Desktop Action Edit]\n"
        << "Name=Edit\n"
        << "Exec=" << DesktopExec(programPath, "%f /e") << "\n";
  return entry.str();
}

}  // namespace

std::string DesktopExec(const std::string& programPath, const std::string& arguments) {
  // Inside double quotes the desktop entry rules escape " ` $ \ with a backslash, and the
  // string value rules then double every backslash again.
  std::string quoted = "\"";
  for (char c : programPath) {
    if (c == '"' || c == '`' || c == '$')
      quoted += "\\\\";
    else if (c == '\\')
      quoted += "\\\\\\";
    if (c == '%')
      quoted += "%%";
    else
      quoted += c;
  }
  quoted += "\"";
  return arguments.empty() ? quoted : quoted + " " + arguments;
}

bool InstalledWithFileType(const std::string& programPath) {
  if (programPath.empty()) return false;
  const fs::path share = fs::path(programPath).parent_path().parent_path() / "share";
  std::error_code error;
  return fs::is_regular_file(share / "applications" / kDesktopName, error) &&
         fs::is_regular_file(share / "mime" / "packages" / kPackageName, error);
}

std::string TrxPatternOwner(const std::vector<std::string>& dataDirs) {
  for (const std::string& dir : dataDirs) {
    std::string owner = OwnerIn(fs::path(dir) / "mime");
    if (!owner.empty()) return owner;
  }
  return {};
}

FileTypeRegistrationResult RegisterFileType(const std::string& dataHome,
                                            const std::vector<std::string>& dataDirs,
                                            const std::string& programPath,
                                            const std::string& iconPng) {
  FileTypeRegistrationResult result;
  if (dataHome.empty()) return result;
  std::vector<std::string> searched{dataHome};
  searched.insert(searched.end(), dataDirs.begin(), dataDirs.end());
  std::string owner = TrxPatternOwner(searched);
  fs::path home(dataHome);
  if ((!owner.empty() && owner != kTransferMimeType) ||
      ClaimedByOtherPackage(home / "mime" / "packages")) {
    result.claimedElsewhere = true;
    return result;
  }

  bool failed = false;
  result.mimeChanged =
      WriteIfChanged(home / "mime" / "packages" / kPackageName, MimePackage(), failed);
  if (failed) return result;
  if (!programPath.empty()) {
    WriteIfChanged(home / "applications" / kDesktopName, DesktopEntry(programPath), failed);
    if (!iconPng.empty()) {
      fs::path icons = home / "icons" / "hicolor" / "48x48";
      WriteIfChanged(icons / "apps" / (std::string(kIconName) + ".png"), iconPng, failed);
      WriteIfChanged(icons / "mimetypes" / (std::string(kMimeIconName) + ".png"), iconPng, failed);
    }
  }
  result.registered = !failed;
  return result;
}

std::string XdgDataHome() {
  const char* value = std::getenv("XDG_DATA_HOME");
  if (value && value[0] == '/') return value;
  const char* home = std::getenv("HOME");
  if (!home || !home[0]) return {};
  return std::string(home) + "/.local/share";
}

std::vector<std::string> XdgDataDirs() {
  const char* value = std::getenv("XDG_DATA_DIRS");
  std::string text = value && value[0] ? value : "/usr/local/share:/usr/share";
  std::vector<std::string> dirs;
  std::istringstream in(text);
  std::string dir;
  while (std::getline(in, dir, ':'))
    if (!dir.empty() && dir[0] == '/') dirs.push_back(dir);
  return dirs;
}

std::string ProgramPath() {
  char buffer[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return {};
  return std::string(buffer, static_cast<size_t>(length));
}
