// A box raised inside libtrox-ui.so is answered by this program's dialog host and the error it
// leaves is read here, linked as the wizard is: one screen layer and one engine per process.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>

#include "ErrorBox.h"
#include "WizardTestSupport.h"
#include "trox/InternetError.h"

namespace {

std::string ObjectOf(const void* address) {
  Dl_info info{};
  if (!dladdr(address, &info) || !info.dli_fname) return {};
  return std::filesystem::weakly_canonical(info.dli_fname).string();
}

TEST_F(WizardTest, ScreenLayerErrorBoxIsAnsweredHereAndLeavesTheThreadsLastError) {
  struct {
    uint32_t error;
    bool forced;
    MsgIcon icon;  // None: no box
  } cases[] = {{ERROR_INTERNET_NAME_NOT_RESOLVED, true, MsgIcon::Error},
               {ERROR_INTERNET_EXTENDED_ERROR, false, MsgIcon::Warning},
               {ENOENT, false, MsgIcon::None},
               {ENOENT, true, MsgIcon::Error}};
  for (const auto& c : cases) {
    Host().BeginScript();
    Host().Queue(DialogAnswer::Ok());
    EXPECT_EQ(ShowErrorBox(nullptr, c.error, "why", c.forced), c.icon != MsgIcon::None);
    for (const DialogRequest& box : Host().Requests()) {
      EXPECT_EQ(box.text, "Error " + std::to_string(c.error) + "\n\nwhy");
      EXPECT_EQ(box.caption, "Varnook FTP");
      EXPECT_EQ(box.icon, c.icon);
      EXPECT_FALSE(box.unanswered);
    }
    EXPECT_EQ(Host().Requests().size(), c.icon != MsgIcon::None ? 1u : 0u);
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(GetLastErrorDetail(), "why");
  }
  // A built-in engine copy would shadow the shared one, for this program's calls or for all.
  std::set<std::string> engines;
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);)
    if (line.find("/libtrox-engine.so") != std::string::npos)
      engines.insert(line.substr(line.find('/')));
  ASSERT_EQ(engines.size(), 1u);
  EXPECT_EQ(ObjectOf(reinterpret_cast<void*>(&GetLastError)), *engines.begin());
  EXPECT_EQ(ObjectOf(dlsym(RTLD_DEFAULT, "_Z12GetLastErrorv")), *engines.begin());
  EXPECT_NE(ObjectOf(reinterpret_cast<void*>(&CDialogHost::Get)).find("/libtrox-ui.so"),
            std::string::npos);
}

}  // namespace
