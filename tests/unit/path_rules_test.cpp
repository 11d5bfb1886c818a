#include "trox/PathRules.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "trox/AsciiCase.h"

TEST(PathRules, EachRuleOnItsEdges) {
  using Rule = std::function<std::string(const std::string&)>;
  const Rule prefix = FolderPrefix, folder = FolderOf, name = NameOf;
  const Rule join = [](const std::string& f) { return JoinPath(f, "n"); };
  const Rule below = [](const std::string& p) { return PathBelow(p, "/dl"); };
  const Rule trimmed = WithoutTrailingSlashes, remote = RemoteFolderForm, local = LocalFolderForm;
  struct Case {
    const char* rule;
    const Rule& apply;
    const char* given;
    const char* expected;
  } cases[] = {
      {"prefix", prefix, "", "/"},
      {"prefix", prefix, "/", "/"},
      {"prefix", prefix, "a", "a/"},
      {"prefix", prefix, "a/", "a/"},
      {"join", join, "", "/n"},
      {"join", join, "/pub", "/pub/n"},
      {"join", join, "/pub/", "/pub/n"},
      {"folder", folder, "/a/b", "/a"},
      {"folder", folder, "/a", ""},
      {"folder", folder, "a", ""},
      {"folder", folder, "a//b", "a/"},
      {"name", name, "/a/b", "b"},
      {"name", name, "b", "b"},
      {"name", name, "/a/", ""},
      {"below", below, "/dl/x/y", "x/y"},
      {"below", below, "/dl", ""},
      {"below", below, "/dl/", ""},
      {"trimmed", trimmed, "/a//", "/a"},
      {"trimmed", trimmed, "///", "/"},
      {"trimmed", trimmed, "", ""},
      {"remote", remote, "//a//b//", "/a/b"},
      {"remote", remote, "a\\\\", "a\\\\"},
      {"remote", remote, "//", "/"},
      {"local", local, "/", ""},
      {"local", local, "/a/", "/a"},
      {"local", local, "/a", "/a"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.apply(c.given), c.expected) << c.rule << " " << c.given;
}

TEST(PathRules, FoldingIsLexical) {
  EXPECT_EQ(FoldPath("/a/../../b/./c//"), "/b/c");
  EXPECT_EQ(FoldPath("/.."), "/");
  EXPECT_EQ(AbsoluteLocalPath("/a/b/../"), "/a/");
  EXPECT_EQ(AbsoluteLocalPath("/../"), "/");
  EXPECT_TRUE(StartsBelow("/a/b", "/a/"));
  EXPECT_FALSE(StartsBelow("/a/", "/a/"));
}

TEST(AsciiCase, FoldsOnlyAsciiLetters) {
  EXPECT_EQ(AsciiLowerCase("MLSD Type=Dir \xC3\x89"), "mlsd type=dir \xC3\x89");
  EXPECT_EQ(AsciiUpperCase("utf8 size \xC3\xA9"), "UTF8 SIZE \xC3\xA9");
  EXPECT_TRUE(EqualsNoCase("TROX", "trox"));
  EXPECT_FALSE(EqualsNoCase("\xC3\xA9", "\xC3\x89"));
  EXPECT_FALSE(EqualsNoCase("trox", "tro"));
  EXPECT_TRUE(StartsWithNoCase("pass secret", "PASS "));
  EXPECT_FALSE(StartsWithNoCase("PAS", "PASS"));
  EXPECT_TRUE(EndsWithNoCase("index.HTML", ".html"));
  EXPECT_FALSE(EndsWithNoCase("html", ".html"));
}
