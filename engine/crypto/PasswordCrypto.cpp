// Stored passwords: RC4 over the password bytes, written as upper-case hexadecimal.
//
// The key must match what the original platform's base provider derived from an MD5 hash with
// default flags, so that stored values move between platforms: a 40-bit key (digest bytes 0 to
// 4) that the provider padded with 11 zero bytes of salt, which makes RC4 see a 16-byte key.
#include "trox/PasswordCrypto.h"

#include <nettle/arcfour.h>
#include <nettle/md5.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>

namespace {

constexpr char kPassPhrase[] = "Zumbra Lotep - kwivo nastrels";
constexpr size_t kKeyBytes = 16;
constexpr size_t kDigestBytesUsed = 5;

std::array<uint8_t, kKeyBytes> DeriveKey() {
  md5_ctx hash;
  md5_init(&hash);
  // The terminating zero is part of what was always hashed.
  md5_update(&hash, sizeof kPassPhrase, reinterpret_cast<const uint8_t*>(kPassPhrase));
  uint8_t digest[MD5_DIGEST_SIZE];
  md5_digest(&hash, MD5_DIGEST_SIZE, digest);
  std::array<uint8_t, kKeyBytes> key{};
  std::memcpy(key.data(), digest, kDigestBytesUsed);
  return key;
}

// RC4 from a fresh key state: every operation starts the stream anew.
void Crypt(std::string& bytes) {
  const auto key = DeriveKey();
  arcfour_ctx cipher;
  arcfour_set_key(&cipher, key.size(), key.data());
  auto* data = reinterpret_cast<uint8_t*>(bytes.data());
  arcfour_crypt(&cipher, bytes.size(), data, data);
}

std::optional<uint8_t> HexDigit(char c) {
  if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
  return std::nullopt;
}

}  // namespace

int EncryptPassword(std::string& text) {
  if (text.empty()) return 1;
  std::string bytes = text;
  Crypt(bytes);
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string stored;
  stored.reserve(bytes.size() * 2);
  for (unsigned char b : bytes) {
    stored += kDigits[b >> 4];
    stored += kDigits[b & 0x0F];
  }
  text = std::move(stored);
  return 1;
}

int DecryptPassword(std::string& text) {
  if (text.empty()) return 1;
  // Pairs from the start; an odd last character stands alone as a one-digit byte. Anything that
  // is not a hexadecimal digit cannot come from a stored form, so the text is left as it is.
  std::string bytes;
  bytes.reserve(text.size() / 2 + 1);
  for (size_t i = 0; i < text.size(); i += 2) {
    auto high = HexDigit(text[i]);
    if (!high) return 0;
    if (i + 1 == text.size()) {
      bytes += static_cast<char>(*high);
      break;
    }
    auto low = HexDigit(text[i + 1]);
    if (!low) return 0;
    bytes += static_cast<char>((*high << 4) | *low);
  }
  Crypt(bytes);
  // A zero byte cannot be part of a password that travels in an FTP command line; what a
  // damaged stored form yields ends at it.
  if (auto zero = bytes.find('\0'); zero != std::string::npos) bytes.resize(zero);
  text = std::move(bytes);
  return 1;
}

int PasswordCryptoAvailable() {
  // A self-test against the value every installation has always stored for "secret".
  std::string probe = "secret";
  return EncryptPassword(probe) == 1 && probe == "E56CF16ECCE9" ? 1 : 0;
}
