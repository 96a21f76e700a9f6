#include "core/byteReader.h"
#include "core/archiveError.h"
#include "core/crc32.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace {

using qov::ByteReader;

struct NumberCase {
    std::vector<std::uint8_t> bytes;
    std::uint64_t value;
};

TEST(ByteReader, ReadsSevenZipNumbersOfEveryLength) {
    const std::vector<NumberCase> cases = {
        {{0x00}, 0},
        {{0x7F}, 0x7F},
        {{0x80, 0x80}, 0x80},
        {{0xBF, 0xFF}, 0x3FFF},
        {{0xC0, 0x00, 0x40}, 0x4000},
        {{0xDF, 0xFF, 0xFF}, 0x1FFFFF},
        {{0xE1, 0x02, 0x03, 0x04}, 0x01040302},
        {{0xF0, 0x01, 0x02, 0x03, 0x04}, 0x04030201},
        {{0xFE, 1, 2, 3, 4, 5, 6, 7}, 0x07060504030201},
        {{0xFF, 1, 2, 3, 4, 5, 6, 7, 8}, 0x0807060504030201},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, ~std::uint64_t{0}},
    };
    for (const auto& c : cases) {
        ByteReader reader(c.bytes);
        EXPECT_EQ(reader.readNumber(), c.value) << "first byte " << int(c.bytes[0]);
        EXPECT_TRUE(reader.atEnd());
    }
}

TEST(ByteReader, RefusesReadsPastTheEnd) {
    const std::vector<std::uint8_t> bytes = {0xFF, 1, 2, 3};
    const auto code = [&](auto read) {
        try {
            ByteReader reader(bytes);
            read(reader);
        } catch (const qov::ArchiveError& error) {
            return error.code();
        }
        return qov::ErrorCode::Ok;
    };
    EXPECT_EQ(code([](ByteReader& r) { r.readNumber(); }), qov::ErrorCode::DamagedArchive);
    EXPECT_EQ(code([](ByteReader& r) { r.readUInt64(); }), qov::ErrorCode::DamagedArchive);
    EXPECT_EQ(code([](ByteReader& r) { r.readBytes(~std::uint64_t{0}); }), qov::ErrorCode::DamagedArchive);
    EXPECT_EQ(code([](ByteReader& r) {
                  r.readUInt32();
                  r.readByte();
              }),
              qov::ErrorCode::DamagedArchive);
    EXPECT_EQ(code([](ByteReader& r) { EXPECT_EQ(r.readUInt32(), 0x030201FFu); }), qov::ErrorCode::Ok);
}

TEST(Crc32, MatchesTheStandardCheckValueAlsoWhenFedInPieces) {
    const std::string_view text = "123456789";
    const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    EXPECT_EQ(qov::crc32(bytes), 0xCBF43926u);
    qov::Crc32 pieces;
    pieces.update(bytes.first(4));
    pieces.update(bytes.subspan(4));
    EXPECT_EQ(pieces.value(), 0xCBF43926u);
}

} // namespace
