#include "trox/TransferFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "TempDir.h"
#include "ini/IniFile.h"
#include "trox/TransferJob.h"

namespace {

// Settings (IsSameAs) and the lists, which IsSameAs leaves to the caller.
void ExpectSameStoredSettings(const CTransferJob& a, const CTransferJob& b) {
  EXPECT_EQ(a.IsSameAs(b), 1);
  EXPECT_EQ(a.m_localFolder, b.m_localFolder);
  auto text = [](const CTransferJob& job) {
    std::string all;
    for (const auto& s : job.m_selectList) all += "sel " + s.extension + "\n";
    for (const auto& c : job.m_chmodList) all += "chmod " + c.extension + std::to_string(c.mode);
    for (const auto* list : {&job.m_connScripts, &job.m_tranScripts, &job.m_discScripts}) {
      for (const auto& e : *list) {
        all += e.type + " " + e.command + std::to_string(e.expectResponse) +
               std::to_string(e.sequence) + "\n";
      }
    }
    return all;
  };
  EXPECT_EQ(text(a), text(b));
}

// Every setting away from its default.
CTransferJob FullJob(const std::string& dir) {
  CTransferJob job;
  job.SetServer("ftp.example.net");
  job.SetServerPath("\\www\\site\\");
  job.SetLocalPath(dir + "/local/");
  job.SetUser("deploy");
  job.SetPassword("s3cr=t \"x\"");
  job.SetLogFile(dir + "/run.log");
  job.SetPort(2121);
  job.SetProxy("proxy.example.net:2121");
  job.SetGet();
  job.SetIgnore();
  job.SetVerbose();
  job.SetArchive();
  job.SetUpgrade();
  job.SetSingle();
  job.SetPassive();
  job.SetTransferType(2);
  job.SetAutoTransfer();
  job.SetSelectMode(2);
  job.AddSelect(".bak");
  job.AddSelect("tmp");
  job.AddChmod(".cgi", "755");
  job.AddChmod(".html", "644");
  job.AddConnScript("SITE UMASK 022,Y");
  job.AddConnScript("NOOP");
  job.AddTranScript("SITE CHMOD 600 %s");
  job.AddDiscScript("STAT,Y");
  return job;
}

class TransferFile : public ::testing::Test {
 protected:
  void SetUp() override { m_dir = MakeTempDir(); }
  std::string Path(const std::string& name) const { return m_dir + "/" + name; }
  std::string m_dir;
};

TEST_F(TransferFile, WrittenJobReadsBackTheSame) {
  CTransferJob job = FullJob(m_dir);
  ASSERT_EQ(WriteTransferFile(Path("job.trx"), job), 0);
  CTransferJob back;
  EXPECT_EQ(ReadTransferFile(Path("job.trx"), back), 0);
  ExpectSameStoredSettings(job, back);

  // The stored form: CRLF, encrypted password, the lists after the settings.
  std::string text = ReadFileBytes(Path("job.trx"));
  EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1);
  EXPECT_EQ(text.find("s3cr"), std::string::npos);
  EXPECT_NE(text.find("PASS=\r\nENCPASS="), std::string::npos);
  EXPECT_NE(text.find("PORT=2121\r\n"), std::string::npos);
  EXPECT_NE(text.find("FORCEBIN=0\r\nFORCEASCII=1\r\n"), std::string::npos);
  EXPECT_NE(text.find("[SELECT]\r\nEXCLUDE(1)=.bak\r\nEXCLUDE(2)=tmp\r\n"), std::string::npos);
  EXPECT_NE(text.find("[SCRIPT]\r\nCONN(1)=SITE UMASK 022,Y\r\nCONN(2)=NOOP\r\n"
                      "TRAN(1)=SITE CHMOD 600 %s\r\nDISC(1)=STAT,Y\r\n"),
            std::string::npos);
  EXPECT_LT(text.find("[TROXWIZ]"), text.find("[SELECT]"));

  // Writing the same job again changes nothing.
  ASSERT_EQ(WriteTransferFile(Path("job.trx"), back), 0);
  EXPECT_EQ(ReadFileBytes(Path("job.trx")), text);
}

// The stored bytes of a table of jobs, written over what a file already held. Changing them would
// break files that older builds wrote and read.
TEST_F(TransferFile, WriterStoresExactlyTheseBytes) {
  const struct {
    const char* name;
    std::function<void(CTransferJob&)> fill;
    const char* before;  // the file's contents before the write
    bool readsBack;      // the file holds the job whole
    const char* after;
  } cases[] = {
      {"every setting",
       [](CTransferJob& j) {
         j.SetServer("ftp.example.net");
         j.SetServerPath("\\www\\site\\");
         j.SetLocalPath("/srv/site/");
         j.SetUser("deploy");
         j.SetPassword("s3cr=t \"x\"");
         j.SetLogFile("/var/log/trox.log");
         j.SetPort(2121);
         j.SetProxy("proxy.example.net:8021");
         for (auto set :
              {&CTransferJob::SetGet, &CTransferJob::SetIgnore, &CTransferJob::SetVerbose,
               &CTransferJob::SetArchive, &CTransferJob::SetUpgrade, &CTransferJob::SetSingle,
               &CTransferJob::SetPassive, &CTransferJob::SetAutoTransfer})
           (j.*set)();
         j.SetTransferType(1);
         j.SetSelectMode(1);
         j.AddSelect(".html");
         j.AddSelect("*.gif");
         j.AddChmod(".cgi", "755");
         j.AddChmod(".pl", "0700");
         j.AddConnScript("SITE UMASK 022,Y");
         j.AddConnScript("NOOP");
         j.AddTranScript("SITE CHMOD 600 %s");
         j.AddDiscScript("STAT,Y");
       },
       "", true,
       "[TROX]\r\nSERVER=ftp.example.net\r\nSERVERPATH=\\www\\site\\\r\nLOCALPATH=/srv/site/\r\n"
       "USER=deploy\r\nPASS=\r\nENCPASS=E53AF16E94E9557A4C4D\r\nLOG=/var/log/trox.log\r\n"
       "PORT=2121\r\nPROXY=proxy.example.net:8021\r\nGET=1\r\nIGNORE=1\r\nVERBOSE=1\r\n"
       "ARCHIVE=1\r\nUPGRADE=1\r\nSINGLE=1\r\nPASSIVE=1\r\nFORCEBIN=1\r\nFORCEASCII=0\r\n"
       "PASSPROMPT=0\r\n[TROXWIZ]\r\nAUTOXFER=1\r\n[SELECT]\r\nINCLUDE(1)=.html\r\n"
       "INCLUDE(2)=*.gif\r\n[CHMOD]\r\nCHMODEXT(1)=.cgi\r\nCHMODACT(1)=755\r\n"
       "CHMODEXT(2)=.pl\r\nCHMODACT(2)=700\r\n[SCRIPT]\r\nCONN(1)=SITE UMASK 022,Y\r\n"
       "CONN(2)=NOOP\r\nTRAN(1)=SITE CHMOD 600 %s\r\nDISC(1)=STAT,Y\r\n"},
      {"odd values",
       [](CTransferJob& j) {
         j.SetServer(" spaced ; remark ");
         j.SetUser("\"quoted\"");
         j.SetPassword("never stored");
         j.SetPassPrompt();
         j.SetPort(0);
         j.SetTransferType(2);
         j.AddSelect(".lost");  // selection mode 0 stores no list
         j.AddDiscScript("QUIT;now\t,N");
       },
       "", false,
       "[TROX]\r\nSERVER= spaced ; remark \r\nSERVERPATH=\r\nLOCALPATH=\r\nUSER=\"quoted\"\r\n"
       "PASS=\r\nENCPASS=\r\nLOG=\r\nPORT=0\r\nPROXY=\r\nGET=0\r\nIGNORE=0\r\nVERBOSE=0\r\n"
       "ARCHIVE=0\r\nUPGRADE=0\r\nSINGLE=0\r\nPASSIVE=0\r\nFORCEBIN=0\r\nFORCEASCII=1\r\n"
       "PASSPROMPT=1\r\n[TROXWIZ]\r\nAUTOXFER=0\r\n[SCRIPT]\r\nDISC(1)=QUIT;now\t,Y\r\n"},
      {"over a file",
       [](CTransferJob& j) {
         j.SetServer("new");
         j.SetTransferType(7);
         j.SetSelectMode(2);
         j.AddSelect(".bak");
         j.AddTranScript("NOOP");
       },
       "; by hand\r\n[MINE]\r\nkeep=me\r\n[SCRIPT]\r\nCONN(1)=OLD\r\n[TROX]\r\n"
       "ENCPASS=E56CF16ECCE9\r\nSERVER=old\r\nCOLOR=blue\r\n[CHMOD]\r\nCHMODEXT(1)=.x\r\n"
       "CHMODACT(1)=1\r\n",
       false,
       "; by hand\r\n[MINE]\r\nkeep=me\r\n[TROX]\r\nENCPASS=E56CF16ECCE9\r\nSERVER=new\r\n"
       "COLOR=blue\r\nSERVERPATH=\r\nLOCALPATH=\r\nUSER=\r\nLOG=\r\nPORT=21\r\nPROXY=\r\n"
       "GET=0\r\nIGNORE=0\r\nVERBOSE=0\r\nARCHIVE=0\r\nUPGRADE=0\r\nSINGLE=0\r\nPASSIVE=0\r\n"
       "FORCEBIN=0\r\nFORCEASCII=0\r\nPASSPROMPT=0\r\n[TROXWIZ]\r\nAUTOXFER=0\r\n[SELECT]\r\n"
       "EXCLUDE(1)=.bak\r\n[SCRIPT]\r\nTRAN(1)=NOOP\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CTransferJob job;
    c.fill(job);
    const std::string path = Path(std::string(c.name) + ".trx");
    WriteFileBytes(path, c.before);
    ASSERT_EQ(WriteTransferFile(path, job), 0);
    EXPECT_EQ(ReadFileBytes(path), c.after);
    if (!c.readsBack) continue;
    CTransferJob back;
    EXPECT_EQ(ReadTransferFile(path, back), 0);
    ExpectSameStoredSettings(job, back);
  }
}

TEST_F(TransferFile, RoundTripLosesOnlyWhatTheFormatCannotHold) {
  std::filesystem::current_path(m_dir);
  CTransferJob job;
  job.SetServer("host ; with remark");
  job.SetUser("user\twith tab");
  job.SetPassPrompt();
  job.SetPassword("never stored");
  job.AddSelect(".lost");  // selection mode 0
  job.AddConnScript("SITE X;Y\tZ,N");
  job.SetTransferType(1);
  ASSERT_EQ(WriteTransferFile(Path("job.trx"), job), 0);

  CTransferJob back;
  EXPECT_EQ(ReadTransferFile(Path("job.trx"), back), 0);
  EXPECT_EQ(back.m_server, "host");
  EXPECT_EQ(back.m_user, "user");
  EXPECT_EQ(back.m_password, "");
  EXPECT_EQ(back.m_passPrompt, 1u);
  EXPECT_TRUE(back.m_selectList.empty());
  EXPECT_EQ(back.m_localFolder, m_dir);  // no LOCALPATH: the reader's current folder
  ASSERT_EQ(back.m_connScripts.size(), 1u);
  EXPECT_EQ(back.m_connScripts[0].command, "SITE X;Y\tZ");
  EXPECT_EQ(back.m_connScripts[0].expectResponse, 1u);
  EXPECT_EQ(back.m_transferType, 1u);
  std::string text = ReadFileBytes(Path("job.trx"));
  EXPECT_EQ(text.find("[SELECT]"), std::string::npos);
  EXPECT_NE(text.find("PASS=\r\nENCPASS=\r\n"), std::string::npos);
}

TEST_F(TransferFile, WindowsFileReadsLikeItsLinuxTwin) {
  WriteFileBytes(Path("windows.trx"),
                 "[trox]\r\nserver = \"ftp.example.net\"\r\nServerPath=/www/\r\n"
                 "user='deploy'\r\nencpass=e56cf16ecce9\r\nport= 2121 \r\nPassive=1\r\n"
                 "[Select]\r\ninclude(1)=  \".txt\" \r\nInclude(2)=.htm ; web\r\n"
                 "[chmod]\r\nchmodext(1)=.cgi\r\nChmodAct(1)=\"755\"\r\n"
                 "[script]\r\nconn(1)=SITE IDLE 60;long,Y\r\n");
  WriteFileBytes(Path("linux.trx"),
                 "[TROX]\nSERVER=ftp.example.net\nSERVERPATH=/www/\nUSER=deploy\n"
                 "ENCPASS=E56CF16ECCE9\nPORT=2121\nPASSIVE=1\n"
                 "[SELECT]\nINCLUDE(1)=.txt\nINCLUDE(2)=.htm\n"
                 "[CHMOD]\nCHMODEXT(1)=.cgi\nCHMODACT(1)=755\n"
                 "[SCRIPT]\nCONN(1)=SITE IDLE 60;long,Y\n");
  CTransferJob windows;
  CTransferJob linux;
  EXPECT_EQ(ReadTransferFile(Path("windows.trx"), windows), 0);
  EXPECT_EQ(ReadTransferFile(Path("linux.trx"), linux), 0);
  ExpectSameStoredSettings(windows, linux);
  EXPECT_EQ(linux.m_password, "secret");
  EXPECT_EQ(linux.m_port, 2121);
  ASSERT_EQ(linux.m_selectList.size(), 2u);
  EXPECT_EQ(linux.m_selectList[0].extension, ".txt");
  EXPECT_EQ(linux.m_selectList[1].extension, ".htm");
  EXPECT_EQ(linux.m_chmodList.at(0).mode, 755);
  EXPECT_EQ(linux.m_connScripts.at(0).command, "SITE IDLE 60;long");
}

TEST_F(TransferFile, ResultTellsWhetherTheFileNamesAServerOrAnUpgradeCheck) {
  CTransferJob job;
  job.SetServer("from the command line");
  EXPECT_EQ(ReadTransferFile(Path("missing.trx"), job), 2);
  EXPECT_EQ(job.m_server, "from the command line");

  WriteFileBytes(Path("upgrade.trx"), "[TROX]\nUPGRADE=1\n");
  EXPECT_EQ(ReadTransferFile(Path("upgrade.trx"), job), 0);
  EXPECT_EQ(job.m_upgrade, 1u);

  WriteFileBytes(Path("noserver.trx"), "[TROX]\nUSER=x\nSERVER=\n");
  EXPECT_EQ(ReadTransferFile(Path("noserver.trx"), job), 2);

  // A remark alone counts as a server that is there, but empty.
  WriteFileBytes(Path("remark.trx"), "[TROX]\nSERVER=;no server yet\n");
  EXPECT_EQ(ReadTransferFile(Path("remark.trx"), job), 0);
  EXPECT_EQ(job.m_server, "");

  WriteFileBytes(Path("both.trx"),
                 "[TROX]\nSERVER=h\nUPGRADE=1\n[SELECT]\nINCLUDE(1)=.a\nEXCLUDE(1)=.b\n");
  CTransferJob both;
  EXPECT_EQ(ReadTransferFile(Path("both.trx"), both), 2);
  EXPECT_EQ(both.m_selectList.size(), 2u);  // the entries stay in the job
  EXPECT_EQ(both.m_selectMode, 2);

  EXPECT_EQ(ReadTransferFile(m_dir, job), 2);  // a folder reads like a missing file
  EXPECT_EQ(ReadTransferFile("", job), 2);
}

TEST_F(TransferFile, ReaderOnlySetsAndAppends) {
  CTransferJob job;
  job.SetGet();
  job.SetUser("kept");
  job.SetPassword("kept too");
  job.SetPort(990);
  job.AddSelect(".first");
  job.AddConnScript("NOOP");
  WriteFileBytes(Path("job.trx"),
                 "[TROX]\nSERVER=h\nGET=0\nUSER=\nPASS=\nIGNORE=2\nVERBOSE=x\n"
                 "FORCEBIN=1\nFORCEASCII=1\nPORT=\n[TROXWIZ]\nAUTOXFER=-1\n"
                 "[SELECT]\nINCLUDE(1)=.second\n[SCRIPT]\nCONN(1)=PWD\n");
  EXPECT_EQ(ReadTransferFile(Path("job.trx"), job), 0);
  EXPECT_EQ(job.m_get, 1u);
  EXPECT_EQ(job.m_user, "kept");
  EXPECT_EQ(job.m_password, "kept too");
  EXPECT_EQ(job.m_port, 990);
  EXPECT_EQ(job.m_ignore, 1u);
  EXPECT_EQ(job.m_verbose, 0u);
  EXPECT_EQ(job.m_transferType, 2u);
  EXPECT_EQ(job.m_autoTransfer, 1u);
  ASSERT_EQ(job.m_selectList.size(), 2u);
  EXPECT_EQ(job.m_selectList[1].extension, ".second");
  EXPECT_EQ(job.m_selectMode, 1);
  ASSERT_EQ(job.m_connScripts.size(), 2u);
  EXPECT_EQ(job.m_connScripts[1].sequence, 2);
}

TEST_F(TransferFile, PortThatDoesNotFitRefusesTheFile) {
  const struct {
    const char* value;
    int result;
    uint16_t port;  // after reading; 990 is the job's port before
  } cases[] = {
      {"65535", 0, 65535}, {"0", 0, 0}, {"70000", 2, 990}, {"-1", 2, 990}, {"99999999999", 2, 990}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    CTransferJob job;
    job.SetPort(990);
    WriteFileBytes(Path("job.trx"), std::string("[TROX]\nSERVER=h\nPORT=") + c.value + "\n");
    EXPECT_EQ(ReadTransferFile(Path("job.trx"), job), c.result);
    EXPECT_EQ(job.m_port, c.port);
  }
}

TEST_F(TransferFile, CommentRuleCleansSettingsButNotScripts) {
  WriteFileBytes(Path("job.trx"),
                 "[TROX]\nSERVER=host.example   ; the live one\nPASS=pass word  ;x\n"
                 "SERVERPATH=/www\t/tabbed\nPORT=2121;ftp\nLOG=\t\n"
                 "[CHMOD]\nCHMODEXT(1)=.cgi ; scripts\nCHMODACT(1)=755;rwx\n"
                 "[SCRIPT]\nTRAN(1)=SITE X ;\tY  \n");
  CTransferJob job;
  job.SetLogFile("kept.log");
  EXPECT_EQ(ReadTransferFile(Path("job.trx"), job), 0);
  EXPECT_EQ(job.m_server, "host.example");
  EXPECT_EQ(job.m_password, "pass word");
  EXPECT_EQ(job.m_givenServerPath, "/www");
  EXPECT_EQ(job.m_port, 2121);
  EXPECT_EQ(job.m_logFile, "kept.log");  // a lone tab is trimmed away: the value is empty
  ASSERT_EQ(job.m_chmodList.size(), 1u);
  EXPECT_EQ(job.m_chmodList[0].extension, ".cgi");
  EXPECT_EQ(job.m_chmodList[0].mode, 755);
  ASSERT_EQ(job.m_tranScripts.size(), 1u);
  EXPECT_EQ(job.m_tranScripts[0].command, "SITE X ;\tY");
}

TEST_F(TransferFile, AGapEndsAList) {
  WriteFileBytes(Path("job.trx"),
                 "[TROX]\nSERVER=h\n[SELECT]\nINCLUDE(1)=.a\nINCLUDE(3)=.c\nINCLUDE(01)=.x\n"
                 "[CHMOD]\nCHMODEXT(1)=.a\nCHMODACT(1)=644\nCHMODEXT(2)=.b\nCHMODACT(2)=\n"
                 "CHMODEXT(3)=.c\nCHMODACT(3)=600\n"
                 "[SCRIPT]\nDISC(1)=QUIT\nDISC(2)=\nDISC(3)=NOOP\n");
  CTransferJob job;
  EXPECT_EQ(ReadTransferFile(Path("job.trx"), job), 0);
  ASSERT_EQ(job.m_selectList.size(), 1u);
  EXPECT_EQ(job.m_selectList[0].extension, ".a");
  EXPECT_EQ(job.m_chmodList.size(), 1u);
  EXPECT_EQ(job.m_discScripts.size(), 1u);
}

TEST_F(TransferFile, FileNameAndLocalPathResolveAgainstTheCurrentFolder) {
  std::filesystem::create_directories(m_dir + "/sub");
  WriteFileBytes(Path("sub/job.trx"), "[TROX]\nSERVER=h\nLOCALPATH=data/\n");
  std::filesystem::current_path(m_dir + "/sub");
  CTransferJob job;
  EXPECT_EQ(ReadTransferFile("../sub/./job.trx", job), 0);
  EXPECT_EQ(job.m_givenLocalPath, m_dir + "/sub/data/");
  EXPECT_EQ(job.m_localFolder, m_dir + "/sub/data");

  ASSERT_EQ(WriteTransferFile("written.trx", job), 0);
  EXPECT_TRUE(PathExists(Path("sub/written.trx")));
}

TEST_F(TransferFile, WriterKeepsWhatItDoesNotKnow) {
  WriteFileBytes(Path("job.trx"),
                 "; saved by hand\n[TROX]\nSERVER=old\nENCPASS=E56CF16ECCE9\nCOLOR=blue\n"
                 "[SELECT]\nINCLUDE(1)=.old\n[MINE]\nkeep=me\n");
  CTransferJob job;
  job.SetServer("new");
  ASSERT_EQ(WriteTransferFile(Path("job.trx"), job), 0);
  std::string text = ReadFileBytes(Path("job.trx"));
  EXPECT_EQ(
      text.rfind("; saved by hand\n[TROX]\nSERVER=new\nENCPASS=E56CF16ECCE9\nCOLOR=blue\n", 0), 0u)
      << text;
  EXPECT_NE(text.find("[MINE]\nkeep=me\n"), std::string::npos);
  EXPECT_EQ(text.find(".old"), std::string::npos);
  EXPECT_EQ(text.find("\r"), std::string::npos);  // the file keeps its own line ends

  // An empty password leaves the stored one alone.
  CTransferJob back;
  EXPECT_EQ(ReadTransferFile(Path("job.trx"), back), 0);
  EXPECT_EQ(back.m_password, "secret");
}

TEST_F(TransferFile, AFailedWriteReturns6AndNeverCorruptsTheFile) {
  CTransferJob job;
  job.SetServer("good");
  job.SetUser("two\nlines");
  job.SetLogFile("never written");
  ASSERT_EQ(WriteTransferFile(Path("job.trx"), job), 6);
  CIniFile ini;
  ASSERT_TRUE(ini.Load(Path("job.trx")));
  EXPECT_EQ(ini.GetString("TROX", "SERVER"), "good");  // what came before the failure stays
  EXPECT_FALSE(ini.HasKey("TROX", "USER"));
  EXPECT_FALSE(ini.HasKey("TROX", "LOG"));
  EXPECT_EQ(ReadFileBytes(Path("job.trx")).find("lines"), std::string::npos);

  CTransferJob scripted;
  scripted.AddDiscScript("QUIT\r\nDELE x");
  EXPECT_EQ(WriteTransferFile(Path("script.trx"), scripted), 6);
  EXPECT_EQ(ReadFileBytes(Path("script.trx")).find("DELE"), std::string::npos);

  EXPECT_EQ(WriteTransferFile(Path("missing/job.trx"), FullJob(m_dir)), 6);
  EXPECT_EQ(WriteTransferFile(m_dir, FullJob(m_dir)), 6);
  EXPECT_FALSE(PathExists(Path("missing")));
}

}  // namespace
