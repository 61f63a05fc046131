// SPDX-License-Identifier: MIT
// sabrel-art OUTDIR: writes the artwork as PNG files: anim0..anim3.png and
// complete.png at 1:1, sabrel.png (the desktop icon) and preview.png, a sheet
// with every picture at 1:1 above the same pictures enlarged four times.
#include <cstdio>
#include <string>
#include <vector>

#include "art/artwork.h"
#include "art/png_writer.h"

namespace {

using sabrel::art::Image;
using sabrel::art::kSize;

std::vector<std::uint8_t> ToVector(const Image& image) {
    return {image.begin(), image.end()};
}

bool Write(const std::string& path, int w, int h, const std::vector<std::uint8_t>& rgb) {
    if (sabrel::art::WritePng(path, w, h, rgb)) return true;
    std::fprintf(stderr, "sabrel-art: cannot write %s\n", path.c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: sabrel-art OUTDIR\n", stderr);
        return 2;
    }
    std::string dir = argv[1];
    std::vector<Image> all;
    for (int i = 0; i < sabrel::art::kFrameCount; ++i)
        all.push_back(sabrel::art::AnimationFrame(i));
    all.push_back(sabrel::art::CompletionPicture());

    bool ok = true;
    for (int i = 0; i < sabrel::art::kFrameCount; ++i) {
        ok &= Write(dir + "/anim" + std::to_string(i) + ".png", kSize, kSize, ToVector(all[i]));
    }
    ok &= Write(dir + "/complete.png", kSize, kSize, ToVector(all.back()));
    ok &= Write(dir + "/sabrel.png", kSize, kSize, ToVector(sabrel::art::AnimationFrame(1)));

    const int zoom = 4, gap = 8;
    const int cell = kSize * zoom + gap;
    const int width = cell * static_cast<int>(all.size()) + gap;
    const int height = gap + kSize + gap + kSize * zoom + gap;
    std::vector<std::uint8_t> sheet(static_cast<std::size_t>(width) * height * 3, 40);
    for (std::size_t n = 0; n < all.size(); ++n) {
        int left = gap + static_cast<int>(n) * cell;
        for (int y = 0; y < kSize * zoom; ++y) {
            for (int x = 0; x < kSize * zoom; ++x) {
                for (int ch = 0; ch < 3; ++ch) {
                    const std::uint8_t v =
                        all[n][(static_cast<std::size_t>(y / zoom) * kSize + x / zoom) * 3 + ch];
                    sheet[(static_cast<std::size_t>(gap + kSize + gap + y) * width + left + x) * 3 +
                          ch] = v;
                    if (x < kSize && y < kSize) {
                        sheet[(static_cast<std::size_t>(gap + y) * width + left + x) * 3 + ch] =
                            all[n][(static_cast<std::size_t>(y) * kSize + x) * 3 + ch];
                    }
                }
            }
        }
    }
    ok &= Write(dir + "/preview.png", width, height, sheet);
    return ok ? 0 : 1;
}
