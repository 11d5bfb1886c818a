#include "CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "trox/PasswordCrypto.h"
#include "trox/TransferJob.h"

namespace {

// argv as main gets it: writable strings after the program name.
struct Argv {
  explicit Argv(std::vector<std::string> args) : strings(std::move(args)) {
    strings.insert(strings.begin(), "trox");
    for (std::string& s : strings) pointers.push_back(s.data());
    pointers.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(strings.size()); }
  std::vector<std::string> strings;
  std::vector<char*> pointers;
};

// What the options set, in one line.
std::string Summary(const CTransferJob& job) {
  std::string s = "s=" + job.GetServer() + " t=" + std::to_string(job.m_port);
  if (!job.GetServerPath().empty()) s += " r=" + job.GetServerPath();
  if (!job.GetUser().empty()) s += " u=" + job.GetUser();
  if (!job.GetPassword().empty()) s += " p=" + job.GetPassword();
  for (auto [flag, letter] : {std::pair{job.m_get, 'g'},
                              {job.m_passive, 'x'},
                              {job.m_ignore, 'i'},
                              {job.m_verbose, 'v'},
                              {job.m_single, 'n'},
                              {job.m_upgrade, 'd'}})
    if (flag) s += std::string(" ") + letter;
  return s;
}

TEST(CommandLine, ClusteredFlagsAndAttachedValues) {
  const struct {
    std::vector<std::string> args;
    std::string summary;
  } cases[] = {
      {{"-gx", "-s", "h"}, "s=h t=21 g x"},
      {{"-xg", "-sh"}, "s=h t=21 g x"},
      {{"-xgiv", "-t2199", "-r/pub", "-sh"}, "s=h t=2199 r=/pub g x i v"},
      {{"-sh", "-t", "021", "-n"}, "s=h t=21 n"},
      {{"-sh", "-t65535", "-t", "1"}, "s=h t=1"},
      // A value that is the next argument is taken whole, whatever it begins with.
      {{"-sh", "-r", "-x", "-vp", "-secret-"}, "s=h t=21 r=-x p=-secret- v"},
      {{"-s", "--", "-u", "", "-r", "/a", "-r/b"}, "s=-- t=21 r=/b"},
      {{"-d", "--"}, "s= t=21 d"},
      {{"-sh", "--binary", "--quiet"}, "s=h t=21 bin quiet"},
      {{"--ascii", "-sh", "--binary", "--ascii"}, "s=h t=21 ascii"},
      {{"-sh", "-psecret", "-h", "-z"}, "s=h t=21 p=secret help"},
      {{"--version", "--nosuch"}, "s= t=21 version"},
  };
  for (const auto& c : cases) {
    Argv argv(c.args);
    CTransferJob job;
    std::string problem = "unset";
    CommandLineExtras extras;
    EXPECT_EQ(ParseCommandLine(argv.argc(), argv.pointers.data(), job, &problem, &extras),
              kResultOk)
        << c.summary;
    EXPECT_EQ(problem, "");
    std::string summary = Summary(job);
    if (job.m_transferType != 0) summary += job.m_transferType == 1 ? " bin" : " ascii";
    if (extras.quiet) summary += " quiet";
    if (extras.action != CommandLineExtras::kRun)
      summary += extras.action == CommandLineExtras::kHelp ? " help" : " version";
    EXPECT_EQ(summary, c.summary);
  }
}

TEST(CommandLine, BadArgumentsSayWhatWasWrong) {
  const struct {
    std::vector<std::string> args;
    std::string problem;
  } cases[] = {
      {{"-sh", "-z"}, "unknown option -z"},
      {{"-sh", "-gz"}, "unknown option -z"},
      {{"-sh", "-V"}, "unknown option -V"},
      {{"-sh", "-g\x1b"}, "unknown option -\\x1b"},
      {{"-sh", "--helper"}, "unknown option --helper"},
      {{"-sh", "--=x"}, "unknown option --"},
      {{"-sh", "--quiet=yes"}, "option --quiet takes no value"},
      {{"-sh", "--password-file"}, "option --password-file needs a value"},
      {{"-sh", "--tls=1"}, "option --tls takes no value"},
      {{"-sh", "--tls-pin", "ab:cd"},
       "option --tls-pin needs a SHA-256 fingerprint: 64 hex digits, colons allowed"},
      {{"-sh", "--password-file=/no/such/pw"},
       "cannot read password file /no/such/pw: No such file or directory"},
      {{"-sh", "foo", "-g"}, "unexpected argument 'foo'"},
      {{"-sh", "two\r\nlines\n\x1b"}, "unexpected argument 'two\\x0d\\x0alines\\x0a\\x1b'"},
      {{"/v", "-sh"}, "unexpected argument '/v'"},
      {{"-sh", "-"}, "unexpected argument '-'"},
      {{"-sh", ""}, "unexpected argument ''"},
      {{"-sh", "--", "-g"}, "unexpected argument '-g'"},
      {{"-sh", "-r"}, "option -r needs a value"},
      {{"-sh", "-gp"}, "option -p needs a value"},
      {{"-s"}, "option -s needs a value"},
      {{"-sh", "-t", "70000"}, "option -t needs a port number from 1 to 65535, not 70000"},
      {{"-sh", "-t65536"}, "option -t needs a port number from 1 to 65535, not 65536"},
      {{"-sh", "-t", "99999999999999999999"},
       "option -t needs a port number from 1 to 65535, not 99999999999999999999"},
      {{"-sh", "-t", "abc"}, "option -t needs a port number from 1 to 65535, not abc"},
      {{"-sh", "-t0"}, "option -t needs a port number from 1 to 65535, not 0"},
      {{"-sh", "-t", "21x"}, "option -t needs a port number from 1 to 65535, not 21x"},
      {{"-sh", "-t", "-1"}, "option -t needs a port number from 1 to 65535, not -1"},
      {{"-sh", "-t", " 21"}, "option -t needs a port number from 1 to 65535, not  21"},
      {{"-sh", "-t", ""}, "option -t needs a port number from 1 to 65535, not an empty value"},
      {{"-u", "me", "-v"}, "no server given (-s, -f or -d)"},
      {{"-sh", "-f", "/no/such/file.trx"},
       "cannot read transfer file /no/such/file.trx: No such file or directory"},
  };
  for (const auto& c : cases) {
    Argv argv(c.args);
    CTransferJob job;
    std::string problem;
    EXPECT_EQ(ParseCommandLine(argv.argc(), argv.pointers.data(), job, &problem),
              kResultBadArguments)
        << c.problem;
    EXPECT_EQ(problem, "trox: " + c.problem);
  }
  // An empty command line has nothing to complain about: the usage says it all.
  Argv empty({});
  CTransferJob job;
  std::string problem = "unset";
  EXPECT_EQ(ParseCommandLine(1, empty.pointers.data(), job, &problem), kResultBadArguments);
  EXPECT_EQ(problem, "");
}

TEST(CommandLine, PasswordValuesAreBlankedInPlace) {
  std::string stored = "pw";
  ASSERT_EQ(EncryptPassword(stored), 1);
  const std::string stars(stored.size(), '*');
  const struct {
    std::vector<std::string> args, after;
  } cases[] = {
      {{"-sh", "-p", "secret", "-u", "me"}, {"-sh", "-p", "******", "-u", "me"}},
      {{"-psecret", "-sh"}, {"-p******", "-sh"}},
      {{"-xvq" + stored, "-sh"}, {"-xvq" + stars, "-sh"}},
      {{"-q", stored, "-p", "-x"}, {"-q", stars, "-p", "**"}},
      // Only values of -p and -q: not a user called "-p", not a path that reads "-psecret".
      {{"-u", "-p", "-r", "-psecret", "-sh"}, {"-u", "-p", "-r", "-psecret", "-sh"}},
  };
  for (const auto& c : cases) {
    Argv argv(c.args);
    HideSecretArguments(argv.argc(), argv.pointers.data());
    std::vector<std::string> after;
    for (int i = 1; i < argv.argc(); ++i) after.push_back(argv.pointers[i]);
    EXPECT_EQ(after, c.after);
  }
}

}  // namespace
