// Raw FTP commands: the user's scripts on connect, after each file and before disconnect, and the
// permission commands. Everything sent and everything the server answers is reported.
#include <memory>
#include <string>
#include <vector>

#include "trox/Internet.h"
#include "trox/TransferJob.h"

namespace {

constexpr uint32_t kDataPiece = 255;

// A transfer script with "%s" is a template of one argument: the first "%s" takes the name and
// "%%" gives "%". Any other conversion (a second "%s" included) stays as written, so a template
// can never read an argument that is not there.
std::string FillTranTemplate(const std::string& command, const std::string& name) {
  if (command.find("%s") == std::string::npos) return command;
  std::string out;
  bool nameUsed = false;
  for (size_t i = 0; i < command.size(); ++i) {
    if (command[i] != '%' || i + 1 == command.size()) {
      out += command[i];
      continue;
    }
    const char next = command[i + 1];
    if (next == '%') {
      out += '%';
      ++i;
    } else if (next == 's' && !nameUsed) {
      out += name;
      nameUsed = true;
      ++i;
    } else {
      out += '%';
    }
  }
  return out;
}

}  // namespace

int CTransferJob::SendCommand(const std::string& command, int expectResponse) {
  Output(command, 1);
  std::unique_ptr<CInternetFile> data;
  bool ok = false;
  if (m_connection) {
    ok = m_connection->Command(command, expectResponse != 0, FTP_TRANSFER_TYPE_ASCII,
                               expectResponse ? &data : nullptr);
  } else {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  }
  if (!ok) {
    ReportError(GetLastError());
    m_transferFailed = 1;
    return 0;
  }

  std::string reply;
  if (ReadLastResponse(nullptr, &reply)) Output(reply, 1);

  if (data) {
    // A failure while reading ends the reading; what came so far is still shown, and the
    // command itself was accepted.
    std::string text;
    char piece[kDataPiece];
    try {
      for (;;) {
        const uint32_t n = data->Read(piece, kDataPiece);
        if (n == 0) break;
        text.append(piece, n);
      }
    } catch (const CInternetException&) {
    }
    Output(text, 1);
    try {
      data->Close();
    } catch (const CInternetException&) {
    }
  }
  return 1;
}

namespace {

// Sends each command of a list in order; the first failure ends the list.
int RunScriptList(CTransferJob& job, const std::vector<tagTROX_SCRIPT>& scripts,
                  const std::string* name) {
  for (const tagTROX_SCRIPT& script : scripts) {
    const std::string command = name ? FillTranTemplate(script.command, *name) : script.command;
    if (job.SendCommand(command, static_cast<int>(script.expectResponse)) == 0) return 0;
  }
  return 1;
}

}  // namespace

int CTransferJob::RunConnScripts() {
  return RunScriptList(*this, m_connScripts, nullptr);
}

int CTransferJob::RunTranScripts(const std::string& name) {
  return RunScriptList(*this, m_tranScripts, &name);
}

int CTransferJob::RunDiscScripts() {
  return RunScriptList(*this, m_discScripts, nullptr);
}
