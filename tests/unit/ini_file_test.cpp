#include "ini/IniFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "TempDir.h"

namespace {

TEST(IniFile, NamesMatchWithoutRegardToCase) {
  CIniFile ini("[Trox]\r\nServer=host\r\n[select]\r\ninclude(1)=.txt\r\n");
  EXPECT_EQ(ini.GetString("TROX", "SERVER"), "host");
  EXPECT_EQ(ini.GetString("trox", "server"), "host");
  EXPECT_EQ(ini.GetString("SELECT", "INCLUDE(1)"), ".txt");
  EXPECT_FALSE(ini.HasKey("SELECT", "INCLUDE(2)"));
  EXPECT_EQ(ini.GetString("SELECT", "INCLUDE(2)", "fallback"), "fallback");
  EXPECT_EQ(ini.GetString("NOSUCH", "SERVER"), "");
}

TEST(IniFile, ValuesAreTrimmedAndLoseOnePairOfQuotes) {
  CIniFile ini(
      "[S]\n"
      "  a  =   spaced value \t\n"
      "b=\"quoted ; value\"\n"
      "c=''single''\n"
      "d=\"unbalanced\n"
      "e=\"\n"
      "f=a=b\n"
      "g=\n"
      "\"h\"=key quotes stay\n");
  EXPECT_EQ(ini.GetString("S", "a"), "spaced value");
  EXPECT_EQ(ini.GetString("S", "b"), "quoted ; value");
  EXPECT_EQ(ini.GetString("S", "c"), "'single'");
  EXPECT_EQ(ini.GetString("S", "d"), "\"unbalanced");
  EXPECT_EQ(ini.GetString("S", "e"), "\"");
  EXPECT_EQ(ini.GetString("S", "f"), "a=b");
  EXPECT_TRUE(ini.HasKey("S", "g"));
  EXPECT_EQ(ini.GetString("S", "g", "fallback"), "");
  EXPECT_EQ(ini.GetString("S", "\"h\""), "key quotes stay");
}

TEST(IniFile, AtMost1022CharactersOfAValueAreSeen) {
  std::string longValue(1500, 'x');
  longValue[1021] = 'y';
  CIniFile ini("[S]\nk=" + longValue + "\nq=\"" + std::string(1023, 'z') + "\"\n");
  std::string seen = ini.GetString("S", "k");
  ASSERT_EQ(seen.size(), 1022u);
  EXPECT_EQ(seen.back(), 'y');
  // Quotes go first, then the cut.
  EXPECT_EQ(ini.GetString("S", "q"), std::string(1022, 'z'));
}

TEST(IniFile, CommentsStrayLinesAndKeysOutsideSectionsAreNeverMatched) {
  CIniFile ini(
      "top=outside\n"
      "[S]\n"
      ";k=commented\n"
      "no equals sign\n"
      "=no key\n"
      "[broken header\n"
      "k=first\n"
      "k=second\n"
      "[T]\n"
      "k=other section\n"
      "[s]\n"
      "k=duplicate section\n"
      "late=only in duplicate\n");
  EXPECT_EQ(ini.GetString("S", "k"), "first");
  EXPECT_EQ(ini.GetString("T", "k"), "other section");
  EXPECT_FALSE(ini.HasKey("S", "late"));
  EXPECT_FALSE(ini.HasKey("S", "top"));
  EXPECT_FALSE(ini.HasKey("S", ";k"));
}

TEST(IniFile, CrLfAndLfReadTheSameAndABomIsSkipped) {
  CIniFile lf("[S]\nk=v\nn=5\n");
  CIniFile crlf("\xEF\xBB\xBF[S]\r\nk=v\r\nn=5");
  EXPECT_EQ(crlf.GetString("S", "k"), "v");
  EXPECT_EQ(crlf.GetInt("S", "n"), 5);
  EXPECT_EQ(lf.GetString("S", "k"), crlf.GetString("S", "k"));
  EXPECT_EQ(lf.LineEnd(), "\n");
  EXPECT_EQ(crlf.LineEnd(), "\r\n");
  EXPECT_EQ(CIniFile("[S]").LineEnd(), "\r\n");
}

TEST(IniFile, NumbersAreDecimalAndANonNumberIsZero) {
  CIniFile ini(
      "[S]\na=12\nb= 7 \nc=-3\nd=abc\ne=12abc\nf=\ng=0x10\nh=99999999999\ni=-99999999999\n"
      "j=\"42\"\nk=+8\nl=-\n");
  EXPECT_EQ(ini.GetInt("S", "a"), 12);
  EXPECT_EQ(ini.GetInt("S", "b"), 7);
  EXPECT_EQ(ini.GetInt("S", "c"), -3);
  EXPECT_EQ(ini.GetInt("S", "d", 9), 0);
  EXPECT_EQ(ini.GetInt("S", "e"), 12);
  EXPECT_EQ(ini.GetInt("S", "f", 9), 9);
  EXPECT_EQ(ini.GetInt("S", "g"), 0);
  EXPECT_EQ(ini.GetInt("S", "h"), 2147483647);
  EXPECT_EQ(ini.GetInt("S", "i"), -2147483647 - 1);
  EXPECT_EQ(ini.GetInt("S", "j"), 42);
  EXPECT_EQ(ini.GetInt("S", "k"), 8);
  EXPECT_EQ(ini.GetInt("S", "l", 9), 0);
  EXPECT_EQ(ini.GetInt("S", "missing", 9), 9);
}

TEST(IniFile, WritesReplaceInPlaceOrAppendToTheirSection) {
  CIniFile ini(
      "; remark\n"
      "[A]\n"
      "one=1\n"
      "Two = 2 ; kept remark\n"
      "\n"
      "[B]\n"
      "x=y\n");
  EXPECT_TRUE(ini.SetString("a", "TWO", "zwei"));
  EXPECT_TRUE(ini.SetString("A", "three", "3"));
  EXPECT_TRUE(ini.SetString("C", "new", ""));
  EXPECT_EQ(ini.Text(),
            "; remark\n"
            "[A]\n"
            "one=1\n"
            "TWO=zwei\n"
            "three=3\n"
            "\n"
            "[B]\n"
            "x=y\n"
            "[C]\n"
            "new=\n");
  EXPECT_EQ(ini.GetString("A", "two"), "zwei");
}

TEST(IniFile, NewLinesTakeTheDocumentsLineEnd) {
  CIniFile crlf;
  EXPECT_TRUE(crlf.SetString("S", "k", "v"));
  EXPECT_TRUE(crlf.SetString("S", "l", "w"));
  EXPECT_EQ(crlf.Text(), "[S]\r\nk=v\r\nl=w\r\n");

  CIniFile lfWithoutLastEnd("[S]\nk=v");
  EXPECT_TRUE(lfWithoutLastEnd.SetString("S", "l", "w"));
  EXPECT_EQ(lfWithoutLastEnd.Text(), "[S]\nk=v\nl=w\n");

  // Lines that are not touched keep their own ends, even in a mixed file.
  CIniFile mixed("[S]\r\nk=v\n[T]\r\n");
  EXPECT_TRUE(mixed.SetString("T", "m", "x"));
  EXPECT_EQ(mixed.Text(), "[S]\r\nk=v\n[T]\r\nm=x\r\n");
}

TEST(IniFile, DeletingASectionTakesAllItsLinesAndEveryDuplicate) {
  CIniFile ini(
      "[KEEP]\nk=1\n[select]\nINCLUDE(1)=.a\n; its remark\n\n[OTHER]\no=2\n"
      "[SELECT]\nINCLUDE(2)=.b\n");
  EXPECT_TRUE(ini.DeleteSection("SELECT"));
  EXPECT_EQ(ini.Text(), "[KEEP]\nk=1\n[OTHER]\no=2\n");
  EXPECT_FALSE(ini.DeleteSection("SELECT"));
  EXPECT_TRUE(ini.DeleteKey("other", "O"));
  EXPECT_EQ(ini.Text(), "[KEEP]\nk=1\n[OTHER]\n");
}

TEST(IniFile, WhatCannotBeStoredAsOneLineIsRefusedAndChangesNothing) {
  const std::string original = "[S]\r\nk=v\r\n";
  CIniFile ini(original);
  EXPECT_FALSE(ini.SetString("S", "k", "line\r\nbreak"));
  EXPECT_FALSE(ini.SetString("S", "k", "bare\nfeed"));
  EXPECT_FALSE(ini.SetString("S", "k", std::string("zero\0byte", 9)));
  EXPECT_FALSE(ini.SetString("S", "k=x", "v"));
  EXPECT_FALSE(ini.SetString("S", "", "v"));
  EXPECT_FALSE(ini.SetString("S", ";k", "v"));
  EXPECT_FALSE(ini.SetString("S]", "k", "v"));
  EXPECT_FALSE(ini.SetString("", "k", "v"));
  EXPECT_FALSE(ini.SetString("S\n", "k", "v"));
  EXPECT_EQ(ini.Text(), original);
}

TEST(IniFileOnDisk, MissingFileLoadsEmptyAndSaveCreatesIt) {
  std::string dir = MakeTempDir();
  std::string path = dir + "/new.trx";
  CIniFile ini;
  EXPECT_TRUE(ini.Load(path));
  EXPECT_EQ(ini.Text(), "");
  EXPECT_TRUE(ini.SetString("TROX", "SERVER", "host"));
  EXPECT_TRUE(ini.Save(path));
  EXPECT_EQ(ReadFileBytes(path), "[TROX]\r\nSERVER=host\r\n");
  // Nothing but the file itself is left in the folder.
  size_t entries = 0;
  for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator(dir)) ++entries;
  EXPECT_EQ(entries, 1u);
}

TEST(IniFileOnDisk, SaveKeepsUntouchedBytesAndTheFilesMode) {
  std::string dir = MakeTempDir();
  std::string path = dir + "/job.trx";
  WriteFileBytes(path, "[TROX]\nServer = old \n[MINE]\nx=1\n");
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  CIniFile ini;
  ASSERT_TRUE(ini.Load(path));
  EXPECT_TRUE(ini.SetString("TROX", "SERVER", "new"));
  ASSERT_TRUE(ini.Save(path));
  EXPECT_EQ(ReadFileBytes(path), "[TROX]\nSERVER=new\n[MINE]\nx=1\n");
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(IniFileOnDisk, ALinkIsFollowedAndFailuresLeaveNothingBehind) {
  std::string dir = MakeTempDir();
  std::string target = dir + "/real.trx";
  std::string link = dir + "/link.trx";
  WriteFileBytes(target, "[S]\nk=1\n");
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  CIniFile ini;
  ASSERT_TRUE(ini.Load(link));
  EXPECT_TRUE(ini.SetString("S", "k", "2"));
  ASSERT_TRUE(ini.Save(link));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadFileBytes(target), "[S]\nk=2\n");

  EXPECT_FALSE(ini.Save(dir + "/missing/folder/job.trx"));
  EXPECT_FALSE(ini.Save(dir));  // a folder is not a file
  EXPECT_FALSE(ini.Load(dir));
  EXPECT_EQ(ini.Text(), "");
  EXPECT_TRUE(ini.Load(target + "/below/a/file"));
}

}  // namespace
