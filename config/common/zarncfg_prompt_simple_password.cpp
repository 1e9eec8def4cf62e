// Passwords the program makes for secrets of its own.
#include "zarncfg_prompt.h"

#include <sys/random.h>

#include <array>
#include <cerrno>
#include <random>

#include "zarncfg_svc.h"

namespace {

constexpr std::size_t kPasswordLength = 20;
constexpr unsigned kAlphabetDraws = 26;
// The largest multiple of 26 a byte can hold: bytes from here on are drawn
// again, so that every remainder is equally likely.
constexpr unsigned kFairLimit = 256 / kAlphabetDraws * kAlphabetDraws;

unsigned char random_byte() {
  unsigned char byte = 0;
  for (;;) {
    const ssize_t got = getrandom(&byte, 1, 0);
    if (got == 1) return byte;
    if (got < 0 && errno != EINTR) break;
  }
  // Kernels without getrandom still have an entropy source for this.
  std::random_device device;
  return static_cast<unsigned char>(device() & 0xFF);
}

unsigned fair_draw() {
  for (;;) {
    const unsigned byte = random_byte();
    if (byte < kFairLimit) return byte % kAlphabetDraws;
  }
}

char password_character(unsigned a) {
  if (a % 3 == 0) return static_cast<char>('0' + a % 9);
  if (a % 2 == 1) return static_cast<char>('A' + a);
  return static_cast<char>('a' + a);
}

}  // namespace

std::string zarncfg_simple_password() {
  FunctionTrace scope("zarncfg_simple_password");
  std::string password;
  password.reserve(kPasswordLength);
  for (std::size_t i = 0; i < kPasswordLength; ++i) password.push_back(password_character(fair_draw()));
  return password;
}
