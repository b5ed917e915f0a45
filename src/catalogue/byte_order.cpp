// Restoring the recorder's byte order: each aligned 4-byte group reversed. A byte shuffle of 32
// (AVX2) or 16 (SSSE3, NEON) bytes at a time where the processor has one, 4 bytes at a time
// elsewhere; all give identical results.
#include "catalogue/byte_order.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64)
#define SKELBROOK_X86 1
#include <immintrin.h>
#elif defined(__aarch64__) || defined(__ARM_NEON)
#define SKELBROOK_NEON 1
#include <arm_neon.h>
#endif

namespace skelbrook {
namespace {

inline uint32_t Reverse32(uint32_t v) {
#if defined(__GNUC__) || defined(__clang__)
  return __builtin_bswap32(v);
#else
  return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
#endif
}

// Groups left after the wide loops.
inline void RestoreWords(const uint8_t* in, uint8_t* out, size_t count) {
  for (size_t i = 0; i + 4 <= count; i += 4) {
    uint32_t v;
    std::memcpy(&v, in + i, 4);
    v = Reverse32(v);
    std::memcpy(out + i, &v, 4);
  }
}

#if defined(SKELBROOK_X86) && (defined(__GNUC__) || defined(__clang__))

// Beyond the caches, stores that bypass them leave the memory bus to the data itself.
constexpr size_t kStreamingThreshold = 4u << 20;

__attribute__((target("avx2"))) void RestoreAvx2Streaming(const uint8_t* in, uint8_t* out,
                                                          size_t count, __m256i mask) {
  // Whole 4-byte groups up to a 32-byte boundary of the output, then aligned streaming stores.
  size_t i = (32 - reinterpret_cast<uintptr_t>(out) % 32) % 32;
  RestoreWords(in, out, i);
  for (; i + 128 <= count; i += 128) {
    for (size_t k = 0; k < 128; k += 32) {
      const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i + k));
      _mm256_stream_si256(reinterpret_cast<__m256i*>(out + i + k), _mm256_shuffle_epi8(a, mask));
    }
  }
  _mm_sfence();
  RestoreWords(in + i, out + i, count - i);
}

__attribute__((target("avx2"))) void RestoreAvx2(const uint8_t* in, uint8_t* out, size_t count) {
  const __m256i mask = _mm256_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12, 3, 2,
                                        1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
  if (count >= kStreamingThreshold && reinterpret_cast<uintptr_t>(out) % 4 == 0 && in != out) {
    RestoreAvx2Streaming(in, out, count, mask);
    return;
  }
  size_t i = 0;
  for (; i + 128 <= count; i += 128) {
    __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
    __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i + 32));
    __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i + 64));
    __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i + 96));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_shuffle_epi8(a, mask));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i + 32), _mm256_shuffle_epi8(b, mask));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i + 64), _mm256_shuffle_epi8(c, mask));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i + 96), _mm256_shuffle_epi8(d, mask));
  }
  for (; i + 32 <= count; i += 32) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_shuffle_epi8(a, mask));
  }
  RestoreWords(in + i, out + i, count - i);
}

__attribute__((target("ssse3"))) void RestoreSsse3(const uint8_t* in, uint8_t* out, size_t count) {
  const __m128i mask = _mm_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
  size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_shuffle_epi8(a, mask));
  }
  RestoreWords(in + i, out + i, count - i);
}

using RestoreFn = void (*)(const uint8_t*, uint8_t*, size_t);

struct Chosen {
  RestoreFn fn;
  const char* name;
};

Chosen Choose() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) return {RestoreAvx2, "avx2"};
  if (__builtin_cpu_supports("ssse3")) return {RestoreSsse3, "ssse3"};
  return {RestoreWords, "portable"};
}

const Chosen& Implementation() {
  static const Chosen chosen = Choose();
  return chosen;
}

#elif defined(SKELBROOK_NEON)

void RestoreNeon(const uint8_t* in, uint8_t* out, size_t count) {
  size_t i = 0;
  for (; i + 16 <= count; i += 16) vst1q_u8(out + i, vrev32q_u8(vld1q_u8(in + i)));
  RestoreWords(in + i, out + i, count - i);
}

#endif

}  // namespace

void RestoreByteOrderPortable(const uint8_t* in, uint8_t* out, size_t count) {
  for (size_t i = 0; i + 4 <= count; i += 4) {
    const uint8_t b0 = in[i], b1 = in[i + 1], b2 = in[i + 2], b3 = in[i + 3];
    out[i] = b3;
    out[i + 1] = b2;
    out[i + 2] = b1;
    out[i + 3] = b0;
  }
}

void RestoreByteOrder(const uint8_t* in, uint8_t* out, size_t count) {
#if defined(SKELBROOK_X86) && (defined(__GNUC__) || defined(__clang__))
  Implementation().fn(in, out, count);
#elif defined(SKELBROOK_NEON)
  RestoreNeon(in, out, count);
#else
  RestoreWords(in, out, count);
#endif
}

const char* RestoreByteOrderImplementation() {
#if defined(SKELBROOK_X86) && (defined(__GNUC__) || defined(__clang__))
  return Implementation().name;
#elif defined(SKELBROOK_NEON)
  return "neon";
#else
  return "portable";
#endif
}

std::vector<ByteOrderRoutine> ByteOrderRoutines() {
  std::vector<ByteOrderRoutine> routines{{"portable", RestoreWords}};
#if defined(SKELBROOK_X86) && (defined(__GNUC__) || defined(__clang__))
  __builtin_cpu_init();
  if (__builtin_cpu_supports("ssse3")) routines.push_back({"ssse3", RestoreSsse3});
  if (__builtin_cpu_supports("avx2")) routines.push_back({"avx2", RestoreAvx2});
#elif defined(SKELBROOK_NEON)
  routines.push_back({"neon", RestoreNeon});
#endif
  return routines;
}

void RestoreInto(const std::vector<uint8_t>& source, size_t bytes, std::vector<uint8_t>& out) {
  const size_t usable = bytes <= source.size() ? bytes : source.size();
  out.assign(bytes, 0);
  RestoreByteOrder(source.data(), out.data(), usable & ~size_t{3});
}

}  // namespace skelbrook
