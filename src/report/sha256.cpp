#include "report/sha256.h"

#include <bit>
#include <cstdio>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace tw {

namespace {

constexpr std::array<std::uint32_t, 64> kRound = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

std::uint32_t BigEndian32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

#if defined(__x86_64__)
// The SHA extensions of x86 processors: four rounds per two instructions,
// several times the plain code's speed (the record hashes every image).
// The state is kept as ABEF and CDGH, as the instructions want it.
[[gnu::target("sha,sse4.1")]] void BlocksWithShaExtensions(std::uint32_t* state, const std::uint8_t* data,
                                                           std::size_t blocks) {
  const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
  __m128i tmp = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0xB1);
  __m128i state1 = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)), 0x1B);
  __m128i state0 = _mm_alignr_epi8(tmp, state1, 8);
  state1 = _mm_blend_epi16(state1, tmp, 0xF0);
  for (; blocks > 0; --blocks, data += 64) {
    const __m128i saved0 = state0;
    const __m128i saved1 = state1;
    __m128i w[4];
    for (int g = 0; g < 16; ++g) {
      if (g < 4) {
        w[g] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * g)), byteSwap);
      }
      __m128i msg =
          _mm_add_epi32(w[g % 4], _mm_loadu_si128(reinterpret_cast<const __m128i*>(&kRound[4 * g])));
      state1 = _mm_sha256rnds2_epu32(state1, state0, msg);
      if (g >= 3 && g < 15) {
        __m128i& next = w[(g + 1) % 4];
        next = _mm_add_epi32(next, _mm_alignr_epi8(w[g % 4], w[(g + 3) % 4], 4));
        next = _mm_sha256msg2_epu32(next, w[g % 4]);
      }
      msg = _mm_shuffle_epi32(msg, 0x0E);
      state0 = _mm_sha256rnds2_epu32(state0, state1, msg);
      if (g >= 1 && g < 13) w[(g + 3) % 4] = _mm_sha256msg1_epu32(w[(g + 3) % 4], w[g % 4]);
    }
    state0 = _mm_add_epi32(state0, saved0);
    state1 = _mm_add_epi32(state1, saved1);
  }
  tmp = _mm_shuffle_epi32(state0, 0x1B);
  state1 = _mm_shuffle_epi32(state1, 0xB1);
  state0 = _mm_blend_epi16(tmp, state1, 0xF0);
  state1 = _mm_alignr_epi8(state1, tmp, 8);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), state0);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), state1);
}

bool HaveShaExtensions() {
  static const bool bHave = __builtin_cpu_supports("sha") && __builtin_cpu_supports("sse4.1");
  return bHave;
}
#endif

}  // namespace

CSha256::CSha256()
    : m_state{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
              0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19} {}

void CSha256::Update(std::span<const std::uint8_t> data) {
  m_nTotal += data.size();
  std::size_t i = 0;
  if (m_nBuffered > 0) {
    while (m_nBuffered < 64 && i < data.size()) m_buffer[m_nBuffered++] = data[i++];
    if (m_nBuffered < 64) return;
    Block(m_buffer.data());
    m_nBuffered = 0;
  }
#if defined(__x86_64__)
  if (HaveShaExtensions() && i + 64 <= data.size()) {
    const std::size_t blocks = (data.size() - i) / 64;
    BlocksWithShaExtensions(m_state.data(), data.data() + i, blocks);
    i += blocks * 64;
  }
#endif
  for (; i + 64 <= data.size(); i += 64) Block(data.data() + i);
  while (i < data.size()) m_buffer[m_nBuffered++] = data[i++];
}

std::string CSha256::HexDigest() {
  const std::uint64_t bits = m_nTotal * 8;
  const std::uint8_t one = 0x80;
  Update({&one, 1});
  const std::uint8_t zero = 0;
  while (m_nBuffered != 56) Update({&zero, 1});
  std::array<std::uint8_t, 8> length{};
  for (int k = 0; k < 8; ++k)
    length[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(bits >> (56 - 8 * k));
  Update(length);
  std::string hex;
  for (std::uint32_t word : m_state) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(word));
    hex += text;
  }
  return hex;
}

void CSha256::Block(const std::uint8_t* block) {
  std::array<std::uint32_t, 64> w{};
  for (std::size_t t = 0; t < 16; ++t) w[t] = BigEndian32(block + 4 * t);
  for (std::size_t t = 16; t < 64; ++t) {
    const std::uint32_t s0 = std::rotr(w[t - 15], 7) ^ std::rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
    const std::uint32_t s1 = std::rotr(w[t - 2], 17) ^ std::rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
    w[t] = w[t - 16] + s0 + w[t - 7] + s1;
  }
  auto [a, b, c, d, e, f, g, h] = m_state;
  for (std::size_t t = 0; t < 64; ++t) {
    const std::uint32_t t1 =
        h + (std::rotr(e, 6) ^ std::rotr(e, 11) ^ std::rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[t] + w[t];
    const std::uint32_t t2 =
        (std::rotr(a, 2) ^ std::rotr(a, 13) ^ std::rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  const std::array<std::uint32_t, 8> add{a, b, c, d, e, f, g, h};
  for (std::size_t k = 0; k < 8; ++k) m_state[k] += add[k];
}

std::string Sha256Hex(std::span<const std::uint8_t> data) {
  CSha256 hash;
  hash.Update(data);
  return hash.HexDigest();
}

}  // namespace tw
