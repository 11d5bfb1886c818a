// The data of one FTP transfer as a CInternetFile: a download, an upload, a listing or a raw
// command's data. It owns the data connection; the final reply is read when the data ends
// (reading) or when it is closed (writing), so a failed transfer throws from the Read that
// reaches the end, or from Close.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ftp/LineEnds.h"
#include "net/Socket.h"
#include "net/Tls.h"
#include "trox/InternetError.h"
#include "trox/InternetFile.h"

class CFtpConnectionImpl;

namespace trox::ftp {

class FtpDataStream : public CInternetFile {
 public:
  // announcedSize: the byte count the server gave for a download (SIZE or the 150 reply). A
  // download that ends before it is a failed transfer, and so is a binary one that brings more
  // (text may grow on the way, as line ends become CR LF). tls: the data connection's secure
  // channel, through which all data then goes; a download must end with its close.
  FtpDataStream(CFtpConnectionImpl* owner, net::Socket socket, bool upload, bool ascii,
                std::optional<uint64_t> announcedSize,
                std::unique_ptr<net::TlsSession> tls = nullptr);
  ~FtpDataStream() override;

  uint32_t Read(void* buffer, uint32_t count) override;
  void Write(const void* buffer, uint32_t count) override;
  // Sends bytes already in the network form (converted text, or binary data) as they are.
  void WriteWire(const char* data, size_t size);
  void Close() override;

  // Reads up to size bytes (fewer only at the end); for whole-file transfers.
  size_t ReadBlock(char* buffer, size_t size);
  // Binary downloads into an open local file: the data goes from the socket to the file
  // through a pipe, never through user space, and the transfer is finished. False, with nothing
  // read, when this stream cannot do that (ASCII, TLS, or no pipe to be had); the caller then
  // reads blocks. A failed write throws with its errno; the stream is then abandoned.
  bool ReceiveIntoFile(int fd);
  // Gives up an open transfer: the data connection is closed and the server's final reply read
  // and dropped, so that the connection is ready for the next command. (Resetting an upload's
  // connection instead leaves some servers without any final reply.)
  void Abandon();
  // The transfer ended before any data (the server's first reply was already final).
  void MarkFinished() { Release(); }
  // The connection goes away while the stream is open.
  void Detach();

 private:
  // Receives from the data connection; 0 at its end.
  size_t ReceiveRaw(char* buffer, size_t size);
  void SendRaw(const char* data, size_t size);
  // Closes the data connection and reads the final reply; throws when the transfer failed,
  // unless the caller abandoned the download.
  void Finish(bool abandoned);
  // A data connection that failed: a time-out kills the control connection too (the server's
  // state is unknown); otherwise the server's final reply says why when it has one.
  [[noreturn]] void DataFailed(const CInternetException& cause);
  // Counts received bytes; more binary data than announced gives up the transfer and throws.
  void CountReceived(size_t n);
  void CheckUsable() const;
  // The data connection is done with: closed, and the connection free for other commands.
  void Release();

  CFtpConnectionImpl* m_owner;
  net::Socket m_socket;
  std::unique_ptr<net::TlsSession> m_tls;
  bool m_upload;
  bool m_ascii;
  std::optional<uint64_t> m_announcedSize;
  uint64_t m_wireBytes = 0;
  bool m_eof = false;
  bool m_finished = false;
  bool m_failed = false;
  std::string m_pending;  // converted download bytes not handed out yet
  size_t m_pendingPos = 0;
  std::string m_raw;  // scratch buffer for ASCII conversion
  FromNetworkLineEnds m_fromNetwork;
  ToNetworkLineEnds m_toNetwork;
};

}  // namespace trox::ftp
