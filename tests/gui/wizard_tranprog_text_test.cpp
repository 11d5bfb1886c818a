// The progress dialog's texts and decisions, without widgets: sizes, percent, speed and time
// left, the bytes line, error descriptions, and what the end of a run reports.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "TranProgText.h"
#include "trox/Messages.h"

TEST(FormatSize, UnitsChangeOnlyAboveTheLimit) {
  EXPECT_EQ(FormatSize(0), "0 Bytes");
  EXPECT_EQ(FormatSize(512), "512.00 Bytes");
  EXPECT_EQ(FormatSize(1024), "1024.00 Bytes");
  EXPECT_EQ(FormatSize(1025), "1.00 KB");
  EXPECT_EQ(FormatSize(1536), "1.50 KB");
  EXPECT_EQ(FormatSize(1024ull * 1024), "1024.00 KB");
  EXPECT_EQ(FormatSize(3ull * 1024 * 1024 * 1024), "3.00 GB");
  // Nothing beyond GB, and counts above 4 GiB do not wrap.
  EXPECT_EQ(FormatSize(5ull * 1024 * 1024 * 1024 * 1024), "5120.00 GB");
  std::string text = "old";
  FormatSize(1, text);
  EXPECT_EQ(text, "1.00 Bytes");
}

TEST(TranProgText, PercentIsTruncatedAndBounded) {
  EXPECT_EQ(PercentDone(0, 0), 0);
  EXPECT_EQ(PercentDone(0, 500), 0);
  EXPECT_EQ(PercentDone(3, 1), 33);
  EXPECT_EQ(PercentDone(3, 2), 66);
  EXPECT_EQ(PercentDone(1000, 1000), 100);
  EXPECT_EQ(PercentDone(1000, 1500), 100);
  EXPECT_EQ(PercentDone(8ull << 30, 4ull << 30), 50);
}

TEST(TranProgText, SpeedAndTimeLeft) {
  // No time has passed, or the clock went back: nothing to compute from.
  EXPECT_FALSE(EstimateSpeed(100, 50, 5000, 5000).computed);
  EXPECT_FALSE(EstimateSpeed(100, 50, 5000, 4000).computed);

  // Before the first byte the rate is 0: a speed, but no estimate (the field keeps its text).
  SpeedEstimate idle = EstimateSpeed(10240, 0, 1000, 3000);
  EXPECT_TRUE(idle.computed);
  EXPECT_EQ(idle.speedText, " (0.00 KB/Sec)");
  EXPECT_EQ(idle.timeLeftText, "");

  SpeedEstimate half = EstimateSpeed(20480, 10240, 0, 2000);
  EXPECT_EQ(half.speedText, " (5.00 KB/Sec)");
  EXPECT_EQ(half.timeLeftText, "Estimated time left: 00:00:02");

  // 1 KB/s with 30 hours of kilobytes left: the hours pass 23.
  SpeedEstimate slow = EstimateSpeed(1024 + 108000ull * 1024, 1024, 0, 1000);
  EXPECT_EQ(slow.timeLeftText, "Estimated time left: 30:00:00");

  // More done than announced: nothing left rather than a wrapped difference.
  EXPECT_EQ(EstimateSpeed(1000, 4096, 0, 1000).timeLeftText, "Estimated time left: 00:00:00");
  EXPECT_EQ(TimeLeftText(3725), "Estimated time left: 01:02:05");
}

TEST(TranProgText, BytesLine) {
  EXPECT_EQ(BytesText(false, 0, 0, ""), "Sent 0 Bytes of 0 Bytes ");
  EXPECT_EQ(BytesText(true, 2048, 1536, " (1.00 KB/Sec)"),
            "Recieved 1.50 KB of 2.00 KB  (1.00 KB/Sec)");
}

TEST(TranProgText, ErrorDescriptions) {
  std::string text = "before";
  GetErrorDescription(ENOENT, text);
  EXPECT_EQ(text, strerrordesc_np(ENOENT));

  text = "before";
  GetErrorDescription(12002, text);
  EXPECT_EQ(text, InternetErrorText(12002));
  EXPECT_FALSE(text.empty());

  // A system number without a text leaves the caller's text.
  text = "before";
  GetErrorDescription(11999, text);
  EXPECT_EQ(text, "before");

  // This thread never talked to a server: no reply to show.
  text = "before";
  GetErrorDescription(12003, text);
  EXPECT_EQ(text, "");
}

TEST(TranProgText, EndOfRunReport) {
  // IGNORE on: no box for failures inside the run, always one for a run that an exception ended.
  // Off: a recorded error, or a run that did not succeed.
  EXPECT_FALSE(WantsErrorBox(true, 12003, 5));
  EXPECT_TRUE(WantsErrorBox(true, 12029, -1));
  EXPECT_FALSE(WantsErrorBox(false, 0, 0));
  EXPECT_TRUE(WantsErrorBox(false, 12029, -1));
  EXPECT_TRUE(WantsErrorBox(false, 0, 5));

  EXPECT_EQ(ErrorBoxDescription(12003, "", "550 Is a directory.", "last"), "550 Is a directory.");
  EXPECT_EQ(ErrorBoxDescription(12003, "fetched\n(550)", "captured", "last"), "fetched\n(550)");
  EXPECT_EQ(ErrorBoxDescription(12029, "Cannot connect", "captured", "last"), "Cannot connect");
  EXPECT_EQ(ErrorBoxDescription(0, "", "", "Failed to create folder /x"),
            "Failed to create folder /x");

  EXPECT_EQ(ErrorBoxText(12003, "550 No.", "/home/ann/a.txt"),
            "An error has occurred during transfer : Error 12003\n\n550 No.\n\n/home/ann/a.txt");

  // An error reported to the user stands, even after a cancel.
  EXPECT_EQ(StatusAfterRun(kTransferIncomplete, true, 0), kTransferIncomplete);
  EXPECT_EQ(StatusAfterRun(kTransferCompleted, true, 0), kTransferCancelled);
  EXPECT_EQ(StatusAfterRun(kTransferCompleted, false, 0), kTransferCompleted);
  // Files failed (5) or an exception (-1): failed, never completed.
  EXPECT_EQ(StatusAfterRun(kTransferCompleted, false, 5), kTransferFailed);
  EXPECT_EQ(StatusAfterRun(kTransferCompleted, false, -1), kTransferFailed);
}
