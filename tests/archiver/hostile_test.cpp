// SPDX-License-Identifier: MIT
// Crafted input that once held the library for a long time. Its own program,
// so that ctest bounds its time without bounding the codec's slower tests.
#include <gtest/gtest.h>

#include "archiver/errors.h"
#include "archiver/lzh_archive.h"
#include "archiver/unlha_core.h"
#include "tests/archiver/memory_files.h"
#include "tests/archiver/sample_data.h"

namespace sabrel::archiver {
namespace {

using testing::HiveLike;
using testing::MemoryFiles;

// "MZ", then level-1 headers one after another, each `period` bytes long and
// each naming an extended header of `period` bytes: the chain of any of them
// runs over every header after it and breaks only at the end of the file.
std::vector<std::uint8_t> OverlappingSfxHeaders(std::size_t size) {
    const std::uint8_t period = 32;
    std::vector<std::uint8_t> h = {30, 0, '-', 'l', 'h', '0', '-', 0xFF, 0xFF, 0xFF, 0xFF,
                                   1,  0, 0,   0,   0,   0,   0,   0,    0x20, 1,    5};
    for (char c : std::string("A.DAT")) h.push_back(static_cast<std::uint8_t>(c));
    h.insert(h.end(), {0, 0, 'M', period, 0});
    unsigned sum = 0;
    for (std::size_t i = 2; i < h.size(); ++i) sum += h[i];
    h[1] = static_cast<std::uint8_t>(sum);
    std::vector<std::uint8_t> out = {'M', 'Z'};
    while (out.size() + h.size() <= size) out.insert(out.end(), h.begin(), h.end());
    return out;
}

// A crafted program makes the search for the archive give up in bounded time,
// while a real archive behind a stub of any likely size is still found.
TEST(HostileArchive, SfxSearchIsBoundedAndStillFindsTheArchive) {
    MemoryFiles fs;
    // 4.2 MB: before the search was bounded, each call took tens of seconds.
    const auto crafted = OverlappingSfxHeaders(4200000);
    Archive a;
    EXPECT_NE(ParseArchive(crafted.data(), crafted.size(), &a), kOk);
    fs.files["C:\\W\\CRAFTED.EXE"].data = crafted;
    EXPECT_NE(CheckArchive(fs, "C:\\W\\CRAFTED.EXE", 2), kOk);

    fs.files["C:\\W\\SYSTEM.DAT"].data = HiveLike(20000, 3);
    ASSERT_EQ(AddFile(fs, "C:\\W\\SYSTEMBU.LZH", "C:\\W\\SYSTEM.DAT"), kOk);
    const auto lzh = fs.files.at("C:\\W\\SYSTEMBU.LZH").data;
    std::vector<std::uint8_t> program = {'M', 'Z'};
    program.resize(100000, 0x90);
    for (std::uint8_t b : lzh) program.push_back(b);
    ASSERT_EQ(ParseArchive(program.data(), program.size(), &a), kOk);
    EXPECT_EQ(a.start, 100000u);
    fs.files["C:\\W\\BIGSTUB.EXE"].data = program;
    EXPECT_EQ(CheckArchive(fs, "C:\\W\\BIGSTUB.EXE", 2), kOk);
}

}  // namespace
}  // namespace sabrel::archiver
