#include "Netrc.h"

#include <gtest/gtest.h>

#include <string>

TEST(Netrc, EntryForHostAndUser) {
  const std::string text =
      "# accounts\n"
      "machine a.example login ann password \"pw with \\\"quotes\\\"\"\n"
      "machine b.example login bob password b1\n"
      "machine b.example login bea account x password b2\n"
      "macdef init\ncd /pub\nmachine b.example login mac password evil\n\n"
      "machine c.example password c-only\n"
      "default login anonymous password guest@\n";
  const struct {
    std::string host, user, found;  // found: "login/password", or "-" for no entry
  } cases[] = {
      {"a.example", "", "ann/pw with \"quotes\""},
      {"b.example", "", "bob/b1"},
      {"b.example", "bea", "bea/b2"},
      {"b.example", "mac", "-"},  // a macro body defines no machine
      {"c.example", "anyone", "/c-only"},
      {"z.example", "", "anonymous/guest@"},
      {"z.example", "zed", "-"},
      {"A.example", "ann", "-"},
  };
  for (const auto& c : cases) {
    auto entry = FindNetrcEntry(text, c.host, c.user);
    EXPECT_EQ(entry ? entry->login + "/" + entry->password : "-", c.found)
        << c.host << " " << c.user;
  }
  EXPECT_FALSE(FindNetrcEntry("machine", "machine", ""));
  EXPECT_FALSE(FindNetrcEntry("", "h", ""));
}
