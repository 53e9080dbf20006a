#include "core/crc16_fold.h"

#if defined(__x86_64__)
#include <immintrin.h>

namespace {

// x^n mod P, as a 64-bit multiplier: the coefficient of x^d at bit 63 - d, so
// that a product of two reflected halves lands one degree low, as the fold needs.
std::uint64_t Multiplier(int n) {
    std::uint32_t remainder = 1;
    for (int i = 0; i < n; ++i) {
        remainder <<= 1;
        if ((remainder & 0x10000) != 0)
            remainder ^= 0x18005;
    }
    std::uint64_t multiplier = 0;
    for (int d = 0; d < 16; ++d)
        multiplier |= std::uint64_t{remainder >> d & 1} << (63 - d);
    return multiplier;
}

// A 16-byte block as a polynomial, its first bit the highest power: moved
// distance bits on (times x^distance), reduced to 128 bits again.
__attribute__((target("pclmul,sse2"))) __m128i Fold(__m128i block, __m128i multipliers) {
    return _mm_xor_si128(_mm_clmulepi64_si128(block, multipliers, 0x00),
                         _mm_clmulepi64_si128(block, multipliers, 0x11));
}

__m128i Multipliers(int distance) {
    return _mm_set_epi64x(static_cast<long long>(Multiplier(distance - 1)),
                          static_cast<long long>(Multiplier(distance + 63)));
}

__attribute__((target("pclmul,sse2"))) void FoldBlocks(std::uint16_t crc, const std::uint8_t* data,
                                                       std::size_t count,
                                                       std::array<std::uint8_t, 16>& folded) {
    static const __m128i by512 = Multipliers(512);
    static const __m128i by128 = Multipliers(128);
    const auto load = [data](std::size_t at) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
    };
    // Four lanes of 16 bytes each, 64 bytes apart, so the multiplications overlap.
    __m128i lanes[4] = {_mm_xor_si128(load(0), _mm_cvtsi32_si128(crc)), load(16), load(32),
                        load(48)};
    for (std::size_t at = 64; at < count; at += 64) {
        for (std::size_t lane = 0; lane < 4; ++lane)
            lanes[lane] = _mm_xor_si128(Fold(lanes[lane], by512), load(at + 16 * lane));
    }
    __m128i result = lanes[0];
    for (std::size_t lane = 1; lane < 4; ++lane)
        result = _mm_xor_si128(Fold(result, by128), lanes[lane]);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(folded.data()), result);
}

// As FoldBlocks, two blocks to an instruction: four lanes of 32 bytes, 128
// bytes apart, then their eight blocks folded in order into one.
__attribute__((target("vpclmulqdq,avx2,pclmul,sse2"))) void
FoldWideBlocks(std::uint16_t crc, const std::uint8_t* data, std::size_t count,
               std::array<std::uint8_t, 16>& folded) {
    static const __m256i by1024 = _mm256_broadcastsi128_si256(Multipliers(1024));
    static const __m128i by128 = Multipliers(128);
    const auto* blocks = reinterpret_cast<const __m256i*>(data);
    __m256i lanes[4] = {
        _mm256_xor_si256(_mm256_loadu_si256(blocks), _mm256_set_epi64x(0, 0, 0, crc)),
        _mm256_loadu_si256(blocks + 1), _mm256_loadu_si256(blocks + 2),
        _mm256_loadu_si256(blocks + 3)};
    for (std::size_t at = 128; at < count; at += 128) {
        for (std::size_t lane = 0; lane < 4; ++lane)
            lanes[lane] = _mm256_xor_si256(
                _mm256_xor_si256(_mm256_clmulepi64_epi128(lanes[lane], by1024, 0x00),
                                 _mm256_clmulepi64_epi128(lanes[lane], by1024, 0x11)),
                _mm256_loadu_si256(blocks + at / 32 + lane));
    }
    __m128i result = _mm256_castsi256_si128(lanes[0]);
    result = _mm_xor_si128(Fold(result, by128), _mm256_extracti128_si256(lanes[0], 1));
    for (std::size_t lane = 1; lane < 4; ++lane) {
        result = _mm_xor_si128(Fold(result, by128), _mm256_castsi256_si128(lanes[lane]));
        result = _mm_xor_si128(Fold(result, by128), _mm256_extracti128_si256(lanes[lane], 1));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(folded.data()), result);
}

} // namespace

bool FoldCrc16(std::uint16_t crc, const std::uint8_t* data, std::size_t count,
               std::array<std::uint8_t, 16>& folded) {
    static const bool available = __builtin_cpu_supports("pclmul") != 0;
    static const bool wide = available && __builtin_cpu_supports("vpclmulqdq") != 0 &&
                             __builtin_cpu_supports("avx2") != 0;
    if (!available || count < 64 || count % 64 != 0)
        return false;
    if (wide && count % 128 == 0)
        FoldWideBlocks(crc, data, count, folded);
    else
        FoldBlocks(crc, data, count, folded);
    return true;
}

#else

bool FoldCrc16(std::uint16_t, const std::uint8_t*, std::size_t, std::array<std::uint8_t, 16>&) {
    return false;
}

#endif
