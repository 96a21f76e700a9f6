#include "bootstrap/peImage.h"

#include "minimalPe.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

using namespace quillon;
using quillon::testing::minimalPeImage;
using quillon::testing::put16;
using quillon::testing::put32;

namespace {

constexpr size_t sectionTable = 0x40 + 4 + 20;

TEST(PeImage, EndsAfterTheLastSectionWhateverFollows) {
    std::string image = minimalPeImage(std::string(0x300, 'x'));
    EXPECT_EQ(peImageEnd(image), image.size());
    EXPECT_EQ(peImageEnd(image + "appended manifest\r\n$\r\n"), image.size());
}

TEST(PeImage, TakesTheLargestSectionEndAndSkipsEmptySections) {
    std::string image = minimalPeImage(std::string(0x400, 'x'));
    put16(image, 0x40 + 4 + 2,
          3); // three sections: the first as made, a later one earlier in the file, an empty one
    size_t second = sectionTable + 40, third = sectionTable + 80;
    put32(image, second + 16, 0x100);
    put32(image, second + 20, 0x200);
    put32(image, third + 16, 0);
    put32(image, third + 20, 0x10000);
    EXPECT_EQ(peImageEnd(image), 0x600u);
}

TEST(PeImage, RejectsWhatIsNoImage) {
    std::string image = minimalPeImage();
    std::vector<std::pair<const char*, std::string>> cases = {
        {"empty", ""},
        {"shorter than a DOS header", image.substr(0, 63)},
        {"no MZ", "XY" + image.substr(2)},
        {"PE header beyond the data",
         [&] {
             std::string b = image;
             put32(b, 0x3c, 0x7ffffff0);
             return b;
         }()},
        {"no PE signature",
         [&] {
             std::string b = image;
             b[0x41] = 'X';
             return b;
         }()},
        {"section table beyond the data", image.substr(0, sectionTable + 39)},
        {"huge section count",
         [&] {
             std::string b = image;
             put16(b, 0x40 + 4 + 2, 0xffff);
             return b;
         }()},
    };
    for (const auto& [name, bytes] : cases)
        EXPECT_FALSE(peImageEnd(bytes)) << name;
}

// A real linker's output, where one is on the machine: Wine ships PE files built by a MinGW toolchain.
TEST(PeImage, RealExecutable) {
    std::filesystem::path file = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/notepad.exe";
    if (!std::filesystem::exists(file)) GTEST_SKIP() << "no PE executable from a real linker here";
    std::ifstream in(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::optional<uint64_t> end = peImageEnd(bytes);
    ASSERT_TRUE(end);
    EXPECT_GT(*end, 0x400u);
    EXPECT_LE(*end, bytes.size());
    EXPECT_EQ(peImageEnd(bytes.substr(0, *end) + "appended"), end);
}

} // namespace
