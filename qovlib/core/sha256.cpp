#include "core/sha256.h"

#include <algorithm>
#include <bit>

namespace qov {

namespace {

constexpr std::array<std::uint32_t, 64> roundConstants{
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

} // namespace

void Sha256::compress(const std::uint8_t* block) {
    std::array<std::uint32_t, 64> w;
    for (int t = 0; t < 16; ++t)
        w[t] = std::uint32_t(block[4 * t]) << 24 | std::uint32_t(block[4 * t + 1]) << 16 |
               std::uint32_t(block[4 * t + 2]) << 8 | block[4 * t + 3];
    for (int t = 16; t < 64; ++t) {
        const std::uint32_t s0 = std::rotr(w[t - 15], 7) ^ std::rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
        const std::uint32_t s1 = std::rotr(w[t - 2], 17) ^ std::rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
        w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    auto [a, b, c, d, e, f, g, h] = state_;
    for (int t = 0; t < 64; ++t) {
        const std::uint32_t t1 = h + (std::rotr(e, 6) ^ std::rotr(e, 11) ^ std::rotr(e, 25)) +
                                 ((e & f) ^ (~e & g)) + roundConstants[t] + w[t];
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
    const std::array<std::uint32_t, 8> mixed{a, b, c, d, e, f, g, h};
    for (int i = 0; i < 8; ++i)
        state_[i] += mixed[i];
}

void Sha256::update(std::span<const std::uint8_t> data) {
    length_ += data.size();
    if (blockUsed_ > 0) {
        const std::size_t take = std::min(data.size(), block_.size() - blockUsed_);
        std::copy_n(data.begin(), take, block_.begin() + blockUsed_);
        blockUsed_ += take;
        data = data.subspan(take);
        if (blockUsed_ < block_.size()) return;
        compress(block_.data());
        blockUsed_ = 0;
    }
    for (; data.size() >= block_.size(); data = data.subspan(block_.size()))
        compress(data.data());
    std::copy(data.begin(), data.end(), block_.begin());
    blockUsed_ = data.size();
}

Sha256::Digest Sha256::finish() {
    const std::uint64_t bits = length_ * 8;
    block_[blockUsed_++] = 0x80;
    if (blockUsed_ > 56) {
        std::fill(block_.begin() + blockUsed_, block_.end(), 0);
        compress(block_.data());
        blockUsed_ = 0;
    }
    std::fill(block_.begin() + blockUsed_, block_.begin() + 56, 0);
    for (int i = 0; i < 8; ++i)
        block_[56 + i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
    compress(block_.data());
    Digest digest;
    for (int i = 0; i < 8; ++i)
        for (int k = 0; k < 4; ++k)
            digest[4 * i + k] = static_cast<std::uint8_t>(state_[i] >> (24 - 8 * k));
    return digest;
}

Sha256::Digest sha256(std::span<const std::uint8_t> data) {
    Sha256 hash;
    hash.update(data);
    return hash.finish();
}

} // namespace qov
