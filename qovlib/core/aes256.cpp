#include "core/aes256.h"

#include <algorithm>
#include <bit>
#include <cassert>

namespace qov {

namespace {

constexpr int rounds = 14;

constexpr std::uint8_t xtime(std::uint8_t x) {
    return static_cast<std::uint8_t>((x << 1) ^ ((x & 0x80) ? 0x1B : 0));
}

constexpr std::uint8_t multiply(std::uint8_t a, std::uint8_t b) {
    std::uint8_t product = 0;
    for (; b; b >>= 1, a = xtime(a))
        if (b & 1) product ^= a;
    return product;
}

struct Tables {
    std::array<std::uint8_t, 256> sbox{};
    std::array<std::uint8_t, 256> inverseSbox{};
    // InvSubBytes followed by one column of InvMixColumns; the other three columns are rotations.
    std::array<std::uint32_t, 256> inverseRound{};
};

// The S-box is the multiplicative inverse in GF(2^8) followed by the affine map; inverses come from
// powers of the generator 3, which visits every nonzero element.
constexpr Tables makeTables() {
    std::array<std::uint8_t, 256> power{};
    std::array<std::uint8_t, 256> logarithm{};
    std::uint8_t x = 1;
    for (int i = 0; i < 255; ++i) {
        power[i] = x;
        logarithm[x] = static_cast<std::uint8_t>(i);
        x = multiply(x, 3);
    }
    Tables t;
    for (int value = 0; value < 256; ++value) {
        const std::uint8_t inverse = value == 0 ? 0 : power[(255 - logarithm[value]) % 255];
        std::uint8_t s = inverse;
        for (int shift = 1; shift < 5; ++shift)
            s ^= static_cast<std::uint8_t>((inverse << shift) | (inverse >> (8 - shift)));
        s ^= 0x63;
        t.sbox[value] = s;
        t.inverseSbox[s] = static_cast<std::uint8_t>(value);
    }
    for (int value = 0; value < 256; ++value) {
        const std::uint8_t s = t.inverseSbox[value];
        t.inverseRound[value] = std::uint32_t(multiply(s, 0x0E)) << 24 |
                                std::uint32_t(multiply(s, 0x09)) << 16 |
                                std::uint32_t(multiply(s, 0x0D)) << 8 | multiply(s, 0x0B);
    }
    return t;
}

constexpr Tables tables = makeTables();

constexpr std::uint8_t byteOf(std::uint32_t word, int row) {
    return static_cast<std::uint8_t>(word >> (24 - 8 * row));
}

// One column of InvShiftRows, InvSubBytes and InvMixColumns: row r comes from column c - r.
constexpr std::uint32_t inverseColumn(const std::array<std::uint32_t, 4>& s, int c) {
    std::uint32_t out = 0;
    for (int row = 0; row < 4; ++row)
        out ^= std::rotr(tables.inverseRound[byteOf(s[(c - row + 4) % 4], row)], 8 * row);
    return out;
}

constexpr std::uint32_t subWord(std::uint32_t word) {
    std::uint32_t out = 0;
    for (int row = 0; row < 4; ++row)
        out |= std::uint32_t(tables.sbox[byteOf(word, row)]) << (24 - 8 * row);
    return out;
}

// InvMixColumns of a key word: inverseRound undoes the S-box, so feed it S-box outputs.
constexpr std::uint32_t inverseMixColumn(std::uint32_t word) {
    std::uint32_t out = 0;
    for (int row = 0; row < 4; ++row)
        out ^= std::rotr(tables.inverseRound[tables.sbox[byteOf(word, row)]], 8 * row);
    return out;
}

std::uint32_t loadWord(const std::uint8_t* bytes) {
    return std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 | std::uint32_t(bytes[2]) << 8 |
           bytes[3];
}

void storeWord(std::uint32_t word, std::uint8_t* bytes) {
    for (int row = 0; row < 4; ++row)
        bytes[row] = byteOf(word, row);
}

} // namespace

Aes256Decryptor::Aes256Decryptor(std::span<const std::uint8_t, 32> key) {
    std::array<std::uint32_t, 60> w;
    for (int i = 0; i < 8; ++i)
        w[i] = loadWord(key.data() + 4 * i);
    std::uint32_t roundConstant = 0x01;
    for (int i = 8; i < 60; ++i) {
        std::uint32_t temp = w[i - 1];
        if (i % 8 == 0) {
            temp = subWord(std::rotl(temp, 8)) ^ (roundConstant << 24);
            roundConstant = xtime(static_cast<std::uint8_t>(roundConstant));
        } else if (i % 8 == 4) {
            temp = subWord(temp);
        }
        w[i] = w[i - 8] ^ temp;
    }
    for (int round = 0; round <= rounds; ++round)
        for (int c = 0; c < 4; ++c) {
            const std::uint32_t word = w[4 * (rounds - round) + c];
            roundKeys_[4 * round + c] = (round == 0 || round == rounds) ? word : inverseMixColumn(word);
        }
}

void Aes256Decryptor::decryptBlock(std::span<const std::uint8_t, blockSize> in,
                                   std::span<std::uint8_t, blockSize> out) const {
    std::array<std::uint32_t, 4> state;
    for (int c = 0; c < 4; ++c)
        state[c] = loadWord(in.data() + 4 * c) ^ roundKeys_[c];
    for (int round = 1; round < rounds; ++round) {
        std::array<std::uint32_t, 4> next;
        for (int c = 0; c < 4; ++c)
            next[c] = inverseColumn(state, c) ^ roundKeys_[4 * round + c];
        state = next;
    }
    for (int c = 0; c < 4; ++c) {
        std::uint32_t word = 0;
        for (int row = 0; row < 4; ++row)
            word |= std::uint32_t(tables.inverseSbox[byteOf(state[(c - row + 4) % 4], row)])
                    << (24 - 8 * row);
        storeWord(word ^ roundKeys_[4 * rounds + c], out.data() + 4 * c);
    }
}

void Aes256Decryptor::decryptCbc(std::span<std::uint8_t> data, Block& chain) const {
    assert(data.size() % blockSize == 0);
    Block plain;
    for (std::size_t at = 0; at + blockSize <= data.size(); at += blockSize) {
        const auto block = data.subspan(at).first<blockSize>();
        decryptBlock(block, plain);
        for (std::size_t i = 0; i < blockSize; ++i) {
            const std::uint8_t cipher = block[i];
            block[i] = plain[i] ^ chain[i];
            chain[i] = cipher;
        }
    }
}

} // namespace qov
