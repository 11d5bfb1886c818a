// The screen layer and the engine are shared libraries so that a process holding the wizard and
// the browsing library has one of each: a box raised inside libtrox-ui.so is answered by this
// program's dialog host, and the error it leaves is the one this program's engine calls read.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "ErrorBox.h"
#include "TranProgText.h"
#include "WizardTestSupport.h"
#include "trox/InternetError.h"

namespace {

std::string ObjectOf(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || !info.dli_fname) return {};
  std::error_code ignored;
  return std::filesystem::weakly_canonical(info.dli_fname, ignored).string();
}

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

class UiLibraryTest : public WizardTest {};

TEST_F(UiLibraryTest, ErrorBoxRaisedInTheLibraryIsAnsweredHereAndItsErrorReadHere) {
  struct Case {
    uint32_t error;
    std::string text;
    bool forced;
    bool shown;
    MsgIcon icon;
  } cases[] = {
      {ERROR_INTERNET_NAME_NOT_RESOLVED, "Name not resolved", true, true, MsgIcon::Error},
      {ERROR_INTERNET_EXTENDED_ERROR, "550 No such folder.\n(550)", false, true, MsgIcon::Warning},
      {ERROR_NO_MORE_FILES, "No more files", false, false, MsgIcon::None},
      {ERROR_NO_MORE_FILES, "No more files", true, true, MsgIcon::Error},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text + (c.forced ? " forced" : " unforced"));
    Host().BeginScript();
    Host().Queue(DialogAnswer::Ok());
    SetLastError(0);
    EXPECT_EQ(ShowErrorBox(nullptr, c.error, c.text, c.forced), c.shown);
    EXPECT_EQ(Host().PendingAnswers(), c.shown ? 0u : 1u);
    if (c.shown) {
      ASSERT_EQ(Host().Requests().size(), 1u);
      const DialogRequest& box = Host().Requests()[0];
      EXPECT_EQ(box.text, "Error " + std::to_string(c.error) + "\n\n" + c.text);
      EXPECT_EQ(box.caption, "Varnook FTP");
      EXPECT_EQ(box.icon, c.icon);
      EXPECT_FALSE(box.unanswered);
    }
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(GetLastErrorDetail(), c.text);
    // What the wizard makes of the thread's last error, for numbers that need no server reply.
    if (c.error == ERROR_INTERNET_NAME_NOT_RESOLVED) {
      std::string description;
      GetErrorDescription(GetLastError(), description);
      EXPECT_EQ(description, c.text);
    }
  }
}

TEST(UiLibrary, OneEngineAndOneDialogHostInTheProcess) {
  std::set<std::string> engines;
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);) {
    size_t slash = line.find('/');
    if (slash != std::string::npos && EndsWith(line, "/libtrox-engine.so"))
      engines.insert(line.substr(slash));
  }
  ASSERT_EQ(engines.size(), 1u);
  const std::string engine = *engines.begin();
  // The calls this program makes, and the first definition any library would bind to, are the
  // shared engine's; a built-in copy would shadow one or the other.
  EXPECT_EQ(ObjectOf(reinterpret_cast<void*>(&GetLastError)), engine);
  EXPECT_EQ(ObjectOf(dlsym(RTLD_DEFAULT, "_Z12GetLastErrorv")), engine);
  EXPECT_TRUE(EndsWith(ObjectOf(reinterpret_cast<void*>(&ShowErrorBox)), "/libtrox-ui.so"));
  EXPECT_TRUE(EndsWith(ObjectOf(reinterpret_cast<void*>(&CDialogHost::Get)), "/libtrox-ui.so"));
}

}  // namespace
