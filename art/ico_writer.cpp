// SPDX-License-Identifier: MIT
#include "art/ico_writer.h"

#include <array>
#include <cstddef>

namespace sabrel::art {
namespace {

struct Rgb {
    int r, g, b;
};

// The 16 colours of the VGA palette in the order Windows uses them.
constexpr std::array<Rgb, 16> kVga = {{{0, 0, 0},
                                       {128, 0, 0},
                                       {0, 128, 0},
                                       {128, 128, 0},
                                       {0, 0, 128},
                                       {128, 0, 128},
                                       {0, 128, 128},
                                       {192, 192, 192},
                                       {128, 128, 128},
                                       {255, 0, 0},
                                       {0, 255, 0},
                                       {255, 255, 0},
                                       {0, 0, 255},
                                       {255, 0, 255},
                                       {0, 255, 255},
                                       {255, 255, 255}}};

// 256 colours: the VGA sixteen, a 6 x 6 x 6 colour cube and 24 greys, so
// that the artwork's dark tones keep some steps.
std::vector<Rgb> Palette256() {
    std::vector<Rgb> palette(kVga.begin(), kVga.end());
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b) palette.push_back({r * 51, g * 51, b * 51});
    for (int i = 1; i <= 24; ++i) palette.push_back({i * 10, i * 10, i * 10});
    return palette;
}

int Nearest(const std::vector<Rgb>& palette, const Rgb& c) {
    int best = 0;
    long bestDistance = -1;
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const long dr = c.r - palette[i].r, dg = c.g - palette[i].g, db = c.b - palette[i].b;
        const long distance = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
        if (bestDistance < 0 || distance < bestDistance) {
            best = static_cast<int>(i);
            bestDistance = distance;
        }
    }
    return best;
}

// The picture reduced to `size` x `size`, each pixel the mean of its block.
std::vector<Rgb> Shrink(const Image& picture, int size) {
    const int block = kSize / size;
    std::vector<Rgb> out;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            Rgb sum{0, 0, 0};
            for (int dy = 0; dy < block; ++dy) {
                for (int dx = 0; dx < block; ++dx) {
                    const std::size_t at =
                        (static_cast<std::size_t>(y * block + dy) * kSize + x * block + dx) * 3;
                    sum.r += picture[at];
                    sum.g += picture[at + 1];
                    sum.b += picture[at + 2];
                }
            }
            const int n = block * block;
            out.push_back({(sum.r + n / 2) / n, (sum.g + n / 2) / n, (sum.b + n / 2) / n});
        }
    }
    return out;
}

void Put16(std::vector<std::uint8_t>& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& out, unsigned long v) {
    Put16(out, static_cast<unsigned>(v & 0xFFFF));
    Put16(out, static_cast<unsigned>(v >> 16));
}

// One icon image: a bitmap header of twice the height (colour bits and
// mask), the palette, the colour bits bottom row first, the all-zero mask.
std::vector<std::uint8_t> IconImage(const Image& picture, int size, int bits) {
    const std::vector<Rgb> palette =
        bits == 4 ? std::vector<Rgb>(kVga.begin(), kVga.end()) : Palette256();
    const std::vector<Rgb> pixels = Shrink(picture, size);
    const int colorRow = (size * bits + 31) / 32 * 4;
    const int maskRow = (size + 31) / 32 * 4;
    std::vector<std::uint8_t> out;
    Put32(out, 40);
    Put32(out, static_cast<unsigned long>(size));
    Put32(out, static_cast<unsigned long>(size) * 2);
    Put16(out, 1);
    Put16(out, static_cast<unsigned>(bits));
    Put32(out, 0);
    Put32(out, static_cast<unsigned long>((colorRow + maskRow) * size));
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    for (std::size_t i = 0; i < (std::size_t{1} << bits); ++i) {
        const Rgb c = i < palette.size() ? palette[i] : Rgb{0, 0, 0};
        out.push_back(static_cast<std::uint8_t>(c.b));
        out.push_back(static_cast<std::uint8_t>(c.g));
        out.push_back(static_cast<std::uint8_t>(c.r));
        out.push_back(0);
    }
    for (int y = size - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(static_cast<std::size_t>(colorRow), 0);
        for (int x = 0; x < size; ++x) {
            const int index = Nearest(palette, pixels[static_cast<std::size_t>(y) * size + x]);
            if (bits == 8) {
                row[static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(index);
            } else {
                row[static_cast<std::size_t>(x / 2)] |=
                    static_cast<std::uint8_t>(x % 2 == 0 ? index << 4 : index);
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    out.insert(out.end(), static_cast<std::size_t>(maskRow * size), 0);
    return out;
}

}  // namespace

std::vector<std::uint8_t> EncodeIcon(const Image& picture) {
    struct Format {
        int size, bits;
    };
    constexpr Format kFormats[] = {{16, 4}, {32, 4}, {16, 8}, {32, 8}};
    constexpr std::size_t kCount = sizeof kFormats / sizeof kFormats[0];
    std::vector<std::vector<std::uint8_t>> images;
    for (const Format& f : kFormats) images.push_back(IconImage(picture, f.size, f.bits));

    std::vector<std::uint8_t> out;
    Put16(out, 0);
    Put16(out, 1);
    Put16(out, kCount);
    unsigned long offset = 6 + 16 * kCount;
    for (std::size_t i = 0; i < kCount; ++i) {
        out.push_back(static_cast<std::uint8_t>(kFormats[i].size));
        out.push_back(static_cast<std::uint8_t>(kFormats[i].size));
        out.push_back(static_cast<std::uint8_t>(kFormats[i].bits == 4 ? 16 : 0));
        out.push_back(0);
        Put16(out, 1);
        Put16(out, static_cast<unsigned>(kFormats[i].bits));
        Put32(out, static_cast<unsigned long>(images[i].size()));
        Put32(out, offset);
        offset += static_cast<unsigned long>(images[i].size());
    }
    for (const auto& image : images) out.insert(out.end(), image.begin(), image.end());
    return out;
}

}  // namespace sabrel::art
