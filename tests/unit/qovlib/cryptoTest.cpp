// SHA-256 and AES-256 against the published test vectors, and the 7z AES coder on inputs no writer
// produces: malformed properties, refused derivation costs, data cut inside a block.
#include "core/aes256.h"
#include "core/aesDecoder.h"
#include "core/archiveError.h"
#include "core/byteSource.h"
#include "core/packedStream.h"
#include "core/sha256.h"

#include "archiveTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace qovtest;
using qov::ErrorCode;

Bytes fromHex(std::string_view hex) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    return bytes;
}

Bytes operator+(Bytes left, const Bytes& right) {
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

Bytes ascii(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

TEST(Sha256, MatchesTheFipsExamples) {
    const struct {
        std::string message;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        // 56 bytes: the length no longer fits the first block, padding takes a second.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmno"
         "pqrs"
         "tnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
    };
    for (const auto& c : cases) {
        const auto digest = qov::sha256(ascii(c.message));
        EXPECT_EQ(Bytes(digest.begin(), digest.end()), fromHex(c.digest)) << '"' << c.message << '"';
    }
}

TEST(Sha256, PiecesOfAnySizeHashAsOneMessage) {
    // A million 'a', fed in pieces that start and end everywhere within a block.
    const Bytes million(1000000, 'a');
    qov::Sha256 hash;
    std::size_t at = 0;
    for (std::size_t piece = 0; at < million.size(); piece = (piece * 7 + 13) % 200) {
        const std::size_t take = std::min(piece, million.size() - at);
        hash.update(std::span(million).subspan(at, take));
        at += take;
    }
    const auto digest = hash.finish();
    EXPECT_EQ(Bytes(digest.begin(), digest.end()),
              fromHex("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"));
}

const char* const nistKey = "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4";
const char* const nistPlain = "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
                              "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710";

TEST(Aes256, DecryptsTheKnownBlocks) {
    const struct {
        const char* key;
        const char* cipher;
        const char* plain;
    } cases[] = {
        // FIPS-197, the AES-256 example.
        {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
         "8ea2b7ca516745bfeafc49904b496089", "00112233445566778899aabbccddeeff"},
        // SP 800-38A, ECB-AES256.
        {nistKey,
         "f3eed1bdb5d2a03c064b5a7e3db181f8591ccb10d410ed26dc5ba74a31362870"
         "b6ed21b99ca6f4f9f153e7b1beafed1d23304b7a39f9f3ff067d8d8f9e24ecc7",
         nistPlain},
    };
    for (const auto& c : cases) {
        const Bytes key = fromHex(c.key);
        const qov::Aes256Decryptor aes(std::span<const std::uint8_t, 32>(key.data(), 32));
        const Bytes cipher = fromHex(c.cipher);
        Bytes plain(cipher.size());
        for (std::size_t at = 0; at < cipher.size(); at += 16)
            aes.decryptBlock(std::span(cipher).subspan(at).first<16>(),
                             std::span(plain).subspan(at).first<16>());
        EXPECT_EQ(plain, fromHex(c.plain)) << c.cipher;
    }
}

TEST(Aes256, CbcChainsAcrossCalls) {
    // SP 800-38A, CBC-AES256, decrypted whole and then in two calls carrying the chain.
    const Bytes key = fromHex(nistKey);
    const qov::Aes256Decryptor aes(std::span<const std::uint8_t, 32>(key.data(), 32));
    const Bytes cipher = fromHex("f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
                                 "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b");
    const Bytes ivBytes = fromHex("000102030405060708090a0b0c0d0e0f");
    qov::Aes256Decryptor::Block iv;
    std::copy(ivBytes.begin(), ivBytes.end(), iv.begin());

    Bytes whole = cipher;
    auto chain = iv;
    aes.decryptCbc(whole, chain);
    EXPECT_EQ(whole, fromHex(nistPlain));
    EXPECT_EQ(Bytes(chain.begin(), chain.end()), Bytes(cipher.end() - 16, cipher.end()));

    Bytes split = cipher;
    chain = iv;
    aes.decryptCbc(std::span(split).first(16), chain);
    aes.decryptCbc(std::span(split).subspan(16), chain);
    EXPECT_EQ(split, fromHex(nistPlain));
}

// An AES coder over `data` that produces `outSize` bytes, drained; answers the failure code.
struct CoderRun {
    ErrorCode code = ErrorCode::Ok;
    std::string message;
    std::size_t produced = 0;
    int passwordRequests = 0;
};

CoderRun runCoder(const Bytes& properties, const Bytes& data, std::uint64_t outSize,
                  std::optional<std::u16string> password = u"pw") {
    CoderRun run;
    qov::AesKeyring keys([&] {
        ++run.passwordRequests;
        return password;
    });
    qov::MemoryByteSource source(data);
    qov::CoderInfo coder{qov::aesMethodId(), 1, 1, properties};
    run.code = errorOf(
        [&] {
            std::vector<std::unique_ptr<qov::InStream>> inputs;
            inputs.push_back(std::make_unique<qov::PackedStream>(source, 0, data.size(), std::nullopt));
            auto stream = qov::makeAesDecoder(coder, std::move(inputs), outSize, keys);
            Bytes chunk(1000);
            while (std::size_t got = stream->read(chunk))
                run.produced += got;
        },
        &run.message);
    return run;
}

TEST(AesCoder, ChecksPropertiesBeforeAskingForThePassword) {
    const Bytes salt16(16, 0x11);
    const struct {
        const char* what;
        Bytes properties;
        ErrorCode code;
        int passwordRequests;
    } cases[] = {
        {"no properties", {}, ErrorCode::DamagedArchive, 0},
        {"flags without the size byte", {0xC0}, ErrorCode::DamagedArchive, 0},
        {"IV shorter than declared", Bytes{0x40, 0x0F} + Bytes(15, 0), ErrorCode::DamagedArchive, 0},
        {"bytes after the IV", Bytes{0x40, 0x0E} + Bytes(16, 0), ErrorCode::DamagedArchive, 0},
        {"2^25 rounds", {0x19}, ErrorCode::UnsupportedMethod, 0},
        {"2^63 rounds, salt and IV", Bytes{0xFF, 0xFF} + salt16 + Bytes(16, 0), ErrorCode::UnsupportedMethod,
         0},
        {"no salt, no IV", {0x02}, ErrorCode::Ok, 1},
        {"16-byte salt, 1-byte IV", Bytes{0xC2, 0xF0} + salt16 + Bytes{0x01}, ErrorCode::Ok, 1},
    };
    for (const auto& c : cases) {
        const CoderRun run = runCoder(c.properties, Bytes(32, 0xA5), 20);
        EXPECT_EQ(run.code, c.code) << c.what << ": " << run.message;
        EXPECT_EQ(run.passwordRequests, c.passwordRequests) << c.what;
        if (c.code == ErrorCode::Ok) {
            EXPECT_EQ(run.produced, 20u) << c.what;
        }
    }
}

TEST(AesCoder, RefusesDataCutInsideABlockAndAMissingPassword) {
    // 20 bytes need two whole blocks.
    EXPECT_EQ(runCoder({0x02}, Bytes(31, 0), 20).code, ErrorCode::DamagedArchive);
    EXPECT_EQ(runCoder({0x02}, Bytes(16, 0), 20).code, ErrorCode::DamagedArchive);
    const CoderRun none = runCoder({0x02}, Bytes(32, 0), 20, std::nullopt);
    EXPECT_EQ(none.code, ErrorCode::CannotOpen);
    EXPECT_EQ(none.message, qov::wrongPasswordMessage);
}

TEST(AesCoder, KeyringAsksOnceAndBoundsTheWork) {
    int requests = 0;
    qov::AesKeyring keys(
        [&] {
            ++requests;
            return std::optional<std::u16string>(u"pw");
        },
        16);
    const Bytes saltA{1}, saltB{2};
    const qov::AesKey first = keys.key(saltA, 2);
    EXPECT_EQ(keys.key(saltA, 2), first);
    EXPECT_NE(keys.key(saltB, 2), first);
    EXPECT_NE(keys.key(saltA, 3), first);
    EXPECT_EQ(requests, 1);
    // 4 + 4 + 8 rounds spent the budget of 16; cached keys cost nothing more.
    EXPECT_EQ(errorOf([&] { keys.key(Bytes{3}, 0); }), ErrorCode::UnsupportedMethod);
    EXPECT_EQ(keys.key(saltA, 2), first);
}

} // namespace
