#include "trox/PasswordCrypto.h"

#include <gtest/gtest.h>

namespace {

TEST(PasswordCrypto, StoredFormMatchesTheOneEveryInstallationWrites) {
  std::string text = "secret";
  EXPECT_EQ(EncryptPassword(text), 1);
  EXPECT_EQ(text, "E56CF16ECCE9");
  EXPECT_EQ(DecryptPassword(text), 1);
  EXPECT_EQ(text, "secret");
  EXPECT_EQ(PasswordCryptoAvailable(), 1);
}

TEST(PasswordCrypto, RoundTripsEveryByteAndIsStable) {
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  for (const std::string& plain : {std::string("a"), std::string("pass word;\t\"x\""), all}) {
    std::string stored = plain;
    ASSERT_EQ(EncryptPassword(stored), 1);
    EXPECT_EQ(stored.size(), plain.size() * 2);
    EXPECT_EQ(stored.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    std::string again = plain;
    EncryptPassword(again);
    EXPECT_EQ(again, stored);  // a fresh key stream every time
    ASSERT_EQ(DecryptPassword(stored), 1);
    EXPECT_EQ(stored, plain);
  }
}

TEST(PasswordCrypto, LowerCaseDigitsDecryptTheSame) {
  std::string text = "e56cf16ecce9";
  EXPECT_EQ(DecryptPassword(text), 1);
  EXPECT_EQ(text, "secret");
  text = "E56cF16eCCe9";
  EXPECT_EQ(DecryptPassword(text), 1);
  EXPECT_EQ(text, "secret");
}

TEST(PasswordCrypto, EmptyTextStaysEmpty) {
  std::string text;
  EXPECT_EQ(EncryptPassword(text), 1);
  EXPECT_EQ(text, "");
  EXPECT_EQ(DecryptPassword(text), 1);
  EXPECT_EQ(text, "");
}

TEST(PasswordCrypto, TextThatIsNoStoredFormIsLeftAsItIs) {
  // A plain password that was stored where the encrypted form belongs stays usable as read.
  for (std::string text : {"plainpw", "E56CF16ECCEG", "E5 6C", "-1", "0x12", "E56CF16ECCE\xC3"}) {
    const std::string before = text;
    EXPECT_EQ(DecryptPassword(text), 0) << before;
    EXPECT_EQ(text, before);
  }
}

TEST(PasswordCrypto, AnOddLastDigitStandsAlone) {
  // "E56CF16ECCE" + "9" split as pairs and a lone digit: five full bytes and the byte 0x09.
  std::string odd = "E56CF16ECCE";
  ASSERT_EQ(DecryptPassword(odd), 1);
  EXPECT_EQ(odd.substr(0, 5), "secre");
  ASSERT_EQ(odd.size(), 6u);
  EXPECT_EQ(static_cast<unsigned char>(odd[5]), static_cast<unsigned char>('t' ^ 0xE9 ^ 0x0E));

  std::string single = "7";
  EXPECT_EQ(DecryptPassword(single), 1);
  EXPECT_EQ(single.size(), 1u);
}

TEST(PasswordCrypto, DecryptedTextEndsAtAZeroByte) {
  // The stored form of "ab" followed by a zero byte and "c": what comes after the zero byte
  // cannot travel in a log-in and is dropped.
  std::string stored = std::string("ab\0c", 4);
  ASSERT_EQ(EncryptPassword(stored), 1);
  ASSERT_EQ(stored.size(), 8u);
  ASSERT_EQ(DecryptPassword(stored), 1);
  EXPECT_EQ(stored, "ab");
}

}  // namespace
